#include "tests/support/AllocationCounter.h"

#include <cstddef>

// Sanitizers interpose the malloc family themselves, and a second interposer would hand their
// allocator memory it does not know; under them their allocation hook counts instead.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MARVEX_COUNT_THROUGH_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define MARVEX_COUNT_THROUGH_SANITIZER 1
#endif
#endif

namespace {

// Local to the executable, so reaching them allocates nothing (no dynamic TLS).
thread_local std::size_t tAllocations = 0;
thread_local int tCounting = 0;

inline void Count() {
    if (tCounting > 0) ++tAllocations;
}

}  // namespace

#ifdef MARVEX_COUNT_THROUGH_SANITIZER

extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             std::size_t),
                                                         void (*free_hook)(const volatile void*));

namespace {

void OnMalloc(const volatile void*, std::size_t) {
    Count();
}
void OnFree(const volatile void*) {}

const bool kHooked = __sanitizer_install_malloc_and_free_hooks(&OnMalloc, &OnFree) != 0;

}  // namespace

#else

// glibc's own entry points behind the public names, so that these forward without recursion.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);

void* malloc(std::size_t size) noexcept {
    Count();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
    Count();
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) noexcept {
    Count();
    return __libc_realloc(p, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    Count();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    Count();
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) return 12;  // ENOMEM
    *out = p;
    return 0;
}
}

#endif

namespace marvex::test {

CountAllocations::CountAllocations() : mStart(tAllocations) {
    ++tCounting;
}
CountAllocations::~CountAllocations() {
    --tCounting;
}
std::size_t CountAllocations::count() const {
    return tAllocations - mStart;
}

}  // namespace marvex::test
