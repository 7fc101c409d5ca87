#pragma once

#include <cstddef>

namespace marvex::test {

// Counts heap allocations made on the calling thread while a CountAllocations object lives.
// Linking marvex_test_alloc into a test replaces the global operator new/delete to do so.
class CountAllocations {
public:
    CountAllocations();
    ~CountAllocations();
    CountAllocations(const CountAllocations&) = delete;
    CountAllocations& operator=(const CountAllocations&) = delete;

    // Allocations (operator new and malloc-family calls through operator new) seen so far.
    std::size_t count() const;

private:
    std::size_t mStart;
};

}  // namespace marvex::test
