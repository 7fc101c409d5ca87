#pragma once

#include <atomic>
#include <memory>

namespace marvex {

// Hands a unit prepared on a control thread (opened, set up and initialised there, e.g. for a
// new reference pitch) to the render thread, and the unit it replaces back to a control thread
// for release, without a lock and without allocating or freeing on the render thread. The render
// thread always has a unit: it switches between two blocks, so the audio has no gap.
//
// Two single-slot mailboxes carry the units: `waiting` from control to render, `retired` from
// render to control. The render thread takes a waiting unit only once the retired slot is empty,
// so it never has to free one; an exchange with acquire-release ordering publishes a unit's
// construction to the thread that takes it. T is any class the owner prepares (PreparedTuner).
template <class T>
class PreparedUnitSwap {
public:
    // [control] Starts with `first` current.
    explicit PreparedUnitSwap(std::unique_ptr<T> first) : mCurrent(first.release()) {}
    // [control, not rendering]
    ~PreparedUnitSwap() {
        delete mCurrent;
        delete mWaiting.load(std::memory_order_acquire);
        delete mRetired.load(std::memory_order_acquire);
    }
    PreparedUnitSwap(const PreparedUnitSwap&) = delete;
    PreparedUnitSwap& operator=(const PreparedUnitSwap&) = delete;

    // [control] Offers the next unit; one offered before and not yet taken is released here, so
    // the render thread takes up only the latest.
    void offer(std::unique_ptr<T> next) {
        delete mWaiting.exchange(next.release(), std::memory_order_acq_rel);
    }

    // [control] Releases the unit the render thread gave back, if any; true if there was one.
    bool releaseRetired() {
        T* retired = mRetired.exchange(nullptr, std::memory_order_acq_rel);
        delete retired;
        return retired != nullptr;
    }

    // [render] The unit to render this block.
    // Takes up a waiting unit when the slot for the one it replaces is free; the replaced unit
    // then waits in that slot for releaseRetired(). No allocation, no lock, never frees.
    T& current() noexcept {
        if (mWaiting.load(std::memory_order_relaxed) != nullptr &&
            mRetired.load(std::memory_order_acquire) == nullptr) {
            T* next = mWaiting.exchange(nullptr, std::memory_order_acq_rel);
            if (next != nullptr) {
                mRetired.store(mCurrent, std::memory_order_release);
                mCurrent = next;
            }
        }
        return *mCurrent;
    }

    // [any thread] Whether a replaced unit waits for releaseRetired(): the render thread asks a
    // control thread to release it when this turns true.
    bool hasRetired() const noexcept { return mRetired.load(std::memory_order_relaxed) != nullptr; }
    // [any thread] Whether an offered unit has not been taken up yet.
    bool hasWaiting() const noexcept { return mWaiting.load(std::memory_order_relaxed) != nullptr; }

private:
    T* mCurrent;  // the render thread's own
    std::atomic<T*> mWaiting{nullptr};
    std::atomic<T*> mRetired{nullptr};
};

}  // namespace marvex
