#include "tests/support/LockCounter.h"

#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>

namespace {

thread_local std::size_t tLocks = 0;
thread_local int tCounting = 0;

void noteLock() {
    if (tCounting > 0) ++tLocks;
}

// The real functions, looked up once before main so the lookup itself never runs on a
// thread being measured.
template <typename Fn>
Fn next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

using MutexFn = int (*)(pthread_mutex_t*);
using RwFn = int (*)(pthread_rwlock_t*);
using SpinFn = int (*)(pthread_spinlock_t*);
using SemFn = int (*)(sem_t*);

MutexFn realMutexLock = next<MutexFn>("pthread_mutex_lock");
MutexFn realMutexTryLock = next<MutexFn>("pthread_mutex_trylock");
RwFn realRdLock = next<RwFn>("pthread_rwlock_rdlock");
RwFn realWrLock = next<RwFn>("pthread_rwlock_wrlock");
SpinFn realSpinLock = next<SpinFn>("pthread_spin_lock");
SemFn realSemWait = next<SemFn>("sem_wait");

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
    return realMutexLock(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
    noteLock();
    return realMutexTryLock(m);
}
int pthread_rwlock_rdlock(pthread_rwlock_t* l) {
    noteLock();
    return realRdLock(l);
}
int pthread_rwlock_wrlock(pthread_rwlock_t* l) {
    noteLock();
    return realWrLock(l);
}
int pthread_spin_lock(pthread_spinlock_t* l) {
    noteLock();
    return realSpinLock(l);
}
int sem_wait(sem_t* s) {
    noteLock();
    return realSemWait(s);
}
}
