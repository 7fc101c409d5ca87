#pragma once

#include <cstddef>

namespace marvex::test {

// Counts lock acquisitions (pthread mutexes, read-write locks, spin locks, semaphores) made on
// the calling thread while a CountLocks object lives. Linking marvex_test_alloc into a test
// interposes those calls to do so; each still goes on to the real implementation.
class CountLocks {
public:
    CountLocks();
    ~CountLocks();
    CountLocks(const CountLocks&) = delete;
    CountLocks& operator=(const CountLocks&) = delete;

    std::size_t count() const;

private:
    std::size_t mStart;
};

}  // namespace marvex::test
