#pragma once

#include <cstdint>

namespace marvex {

// [render] Sets flush-to-zero and denormals-are-zero for its lifetime and restores the caller's
// mode on every way out, exceptions included. On x86 this is MXCSR bits 0x8040; on 64-bit ARM
// the FZ bit of FPCR; elsewhere it does nothing.
class ProcessorModeGuard {
public:
    ProcessorModeGuard();
    ~ProcessorModeGuard();
    ProcessorModeGuard(const ProcessorModeGuard&) = delete;
    ProcessorModeGuard& operator=(const ProcessorModeGuard&) = delete;

    // The raw processor mode word of this thread (MXCSR or FPCR), 0 where there is none.
    static std::uint64_t Current();
    // Loads a mode word saved by Current().
    static void Restore(std::uint64_t mode);
    // The bits this guard adds.
    static std::uint64_t FlushBits();

private:
    std::uint64_t mSaved;
};

}  // namespace marvex
