#include "tests/support/LockCounter.h"

#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>

#include <atomic>

namespace {

thread_local std::size_t tLocks = 0;
thread_local int tCounting = 0;

// Counts the call, then forwards it to the real function behind the interposed name, looked up on
// first use: a lock may be taken during static initialisation, before any initialiser of this
// file has run (the slot is constant-initialised, so it needs none). `Id` gives each name a slot.
template <int Id, typename Lock>
int Counted(const char* name, Lock* lock) {
    using Fn = int (*)(Lock*);
    static std::atomic<Fn> slot{nullptr};
    if (tCounting > 0) ++tLocks;
    Fn fn = slot.load(std::memory_order_acquire);
    if (fn == nullptr) {
        fn = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
        slot.store(fn, std::memory_order_release);
    }
    return fn(lock);
}

}  // namespace

namespace marvex::test {

CountLocks::CountLocks() : mStart(tLocks) {
    ++tCounting;
}
CountLocks::~CountLocks() {
    --tCounting;
}
std::size_t CountLocks::count() const {
    return tLocks - mStart;
}

}  // namespace marvex::test

extern "C" {

int pthread_mutex_lock(pthread_mutex_t* m) {
    return Counted<0>("pthread_mutex_lock", m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
    return Counted<1>("pthread_mutex_trylock", m);
}
int pthread_rwlock_rdlock(pthread_rwlock_t* l) {
    return Counted<2>("pthread_rwlock_rdlock", l);
}
int pthread_rwlock_wrlock(pthread_rwlock_t* l) {
    return Counted<3>("pthread_rwlock_wrlock", l);
}
int pthread_spin_lock(pthread_spinlock_t* l) {
    return Counted<4>("pthread_spin_lock", l);
}
int sem_wait(sem_t* s) {
    return Counted<5>("sem_wait", s);
}
}
