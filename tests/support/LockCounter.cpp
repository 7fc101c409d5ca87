#include "tests/support/LockCounter.h"

#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>

#include <atomic>

namespace {

thread_local std::size_t tLocks = 0;
thread_local int tCounting = 0;

void noteLock() {
    if (tCounting > 0) ++tLocks;
}

// The real function behind each interposed name, looked up on first use: a lock may be taken
// during static initialisation, before any initialiser of this file has run.
template <typename Fn>
Fn real(std::atomic<Fn>& slot, const char* name) {
    Fn fn = slot.load(std::memory_order_acquire);
    if (fn == nullptr) {
        fn = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
        slot.store(fn, std::memory_order_release);
    }
    return fn;
}

using MutexFn = int (*)(pthread_mutex_t*);
using RwFn = int (*)(pthread_rwlock_t*);
using SpinFn = int (*)(pthread_spinlock_t*);
using SemFn = int (*)(sem_t*);

std::atomic<MutexFn> gMutexLock{nullptr};
std::atomic<MutexFn> gMutexTryLock{nullptr};
std::atomic<RwFn> gRdLock{nullptr};
std::atomic<RwFn> gWrLock{nullptr};
std::atomic<SpinFn> gSpinLock{nullptr};
std::atomic<SemFn> gSemWait{nullptr};

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
    noteLock();
    return real(gMutexLock, "pthread_mutex_lock")(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
    noteLock();
    return real(gMutexTryLock, "pthread_mutex_trylock")(m);
}
int pthread_rwlock_rdlock(pthread_rwlock_t* l) {
    noteLock();
    return real(gRdLock, "pthread_rwlock_rdlock")(l);
}
int pthread_rwlock_wrlock(pthread_rwlock_t* l) {
    noteLock();
    return real(gWrLock, "pthread_rwlock_wrlock")(l);
}
int pthread_spin_lock(pthread_spinlock_t* l) {
    noteLock();
    return real(gSpinLock, "pthread_spin_lock")(l);
}
int sem_wait(sem_t* s) {
    noteLock();
    return real(gSemWait, "sem_wait")(s);
}
}
