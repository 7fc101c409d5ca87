#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

namespace marvex {

// A bounded queue from one producer thread to one consumer thread, without lock or allocation
// after construction: what a render thread uses to hand results to a display thread. When the
// consumer falls behind and the queue is full, push() refuses the item rather than wait.
//
// Each index is written by one side only; the release store of an index publishes the slot it
// passes over to the other side's acquire load, so a slot is never read while it is written.
template <class T>
class SpscQueue {
public:
    // [control] Holds up to `capacity` items (at least one).
    explicit SpscQueue(std::size_t capacity) : mSlots(capacity < 1 ? 2 : capacity + 1) {}
    SpscQueue(const SpscQueue&) = delete;
    SpscQueue& operator=(const SpscQueue&) = delete;

    // [any thread] On the one producing thread. False when the queue is full.
    bool push(const T& item) noexcept {
        const std::size_t tail = mTail.load(std::memory_order_relaxed);
        const std::size_t next = advance(tail);
        if (next == mHead.load(std::memory_order_acquire)) return false;
        mSlots[tail] = item;
        mTail.store(next, std::memory_order_release);
        return true;
    }

    // [any thread] On the one consuming thread. False when the queue is empty.
    bool pop(T& item) noexcept {
        const std::size_t head = mHead.load(std::memory_order_relaxed);
        if (head == mTail.load(std::memory_order_acquire)) return false;
        item = mSlots[head];
        mHead.store(advance(head), std::memory_order_release);
        return true;
    }

private:
    std::size_t advance(std::size_t index) const noexcept {
        return index + 1 == mSlots.size() ? 0 : index + 1;
    }

    std::vector<T> mSlots;  // one more than the capacity: full and empty differ
    std::atomic<std::size_t> mHead{0};
    std::atomic<std::size_t> mTail{0};
};

}  // namespace marvex
