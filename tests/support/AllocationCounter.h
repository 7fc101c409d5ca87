#pragma once

#include <cstddef>

namespace marvex::test {

// Counts heap allocations made on the calling thread while a CountAllocations object lives:
// malloc, calloc, realloc, aligned_alloc and posix_memalign, whoever calls them (C code, the C++
// runtime allocating a thrown exception, the standard operator new, which calls malloc or
// aligned_alloc). Linking marvex_test_alloc into a test interposes those functions, forwarding to
// glibc's own; under AddressSanitizer or ThreadSanitizer, which interpose them already, the
// sanitizer's allocation hook counts instead.
class CountAllocations {
public:
    CountAllocations();
    ~CountAllocations();
    CountAllocations(const CountAllocations&) = delete;
    CountAllocations& operator=(const CountAllocations&) = delete;

    // Allocations seen so far.
    std::size_t count() const;

private:
    std::size_t mStart;
};

}  // namespace marvex::test
