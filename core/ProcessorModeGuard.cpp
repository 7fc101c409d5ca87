#include "core/ProcessorModeGuard.h"

#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define MARVEX_MODE_MXCSR 1
#elif defined(__aarch64__)
#define MARVEX_MODE_FPCR 1
#endif

namespace marvex {

namespace {
#if MARVEX_MODE_MXCSR
constexpr std::uint64_t kFlushToZero = 0x8000;
constexpr std::uint64_t kDenormalsAreZero = 0x40;
constexpr std::uint64_t kFlush = kFlushToZero | kDenormalsAreZero;
#elif MARVEX_MODE_FPCR
constexpr std::uint64_t kFlush = 1ull << 24;  // FZ: denormal inputs and results become zero
#else
constexpr std::uint64_t kFlush = 0;
#endif
}  // namespace

std::uint64_t ProcessorModeGuard::Current() {
#if MARVEX_MODE_MXCSR
    return _mm_getcsr();
#elif MARVEX_MODE_FPCR
    std::uint64_t fpcr;
    __asm__ __volatile__("mrs %0, fpcr" : "=r"(fpcr));
    return fpcr;
#else
    return 0;
#endif
}

void ProcessorModeGuard::Restore(std::uint64_t mode) {
#if MARVEX_MODE_MXCSR
    _mm_setcsr(static_cast<unsigned int>(mode));
#elif MARVEX_MODE_FPCR
    __asm__ __volatile__("msr fpcr, %0" : : "r"(mode));
#else
    (void)mode;
#endif
}

std::uint64_t ProcessorModeGuard::FlushBits() {
    return kFlush;
}

ProcessorModeGuard::ProcessorModeGuard() : mSaved(Current()) {
    Restore(mSaved | kFlush);
}

ProcessorModeGuard::~ProcessorModeGuard() {
    Restore(mSaved);
}

}  // namespace marvex
