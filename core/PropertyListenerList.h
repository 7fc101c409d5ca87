#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "format/AudioUnitProperties.h"

// The property listeners of one unit. Control threads add and remove them; PropertyChanged walks
// them on any thread, the render thread included (a render error is announced there), so the walk
// takes no lock and allocates nothing.
//
// Listeners live in an array that is never changed once published through one atomic pointer.
// A change builds a new array under a lock that only control threads take, publishes it and
// retires the old one. A walk counts itself in before it loads the pointer and out when it is
// done; a retired array is freed only when a writer, after publishing, sees no walk counted in:
// every walk that starts later loads the new pointer (all four operations are sequentially
// consistent), and every earlier one has finished. Until then retired arrays are kept and freed
// by a later change or the destructor.
//
// A removal also clears the procedure of the matching entries in every array still alive, so a
// walk that reaches them afterwards skips them: a listener removed during a walk on the same
// thread is not called by that walk. A walk on another thread that has already read the
// procedure may still make that one call.
class PropertyListenerList {
public:
    PropertyListenerList() = default;
    ~PropertyListenerList();
    PropertyListenerList(const PropertyListenerList&) = delete;
    PropertyListenerList& operator=(const PropertyListenerList&) = delete;

    // [control, locks] Appends a listener; the same one twice is called twice. Walks already
    // running do not see it.
    void Add(AudioUnitPropertyID inID, AudioUnitPropertyListenerProc inProc, void* inRefCon);
    // [control, locks] Removes every listener of inID with inProc (and inRefCon, when given).
    void Remove(AudioUnitPropertyID inID, AudioUnitPropertyListenerProc inProc, void* inRefCon,
                bool inRefConSpecified);
    // [any thread] Calls the listeners of inID in the order they were added.
    void Notify(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                AudioUnitElement inElement) const;

private:
    struct Entry {
        AudioUnitPropertyID id = 0;
        std::atomic<AudioUnitPropertyListenerProc> proc{nullptr};  // null once removed
        void* refCon = nullptr;
    };
    struct Snapshot {
        explicit Snapshot(std::size_t n) : count(n), entries(new Entry[n]) {}
        std::size_t count;
        std::unique_ptr<Entry[]> entries;
    };

    // Under mWriteLock: the live entries of the current array, with room for `extra` more.
    std::unique_ptr<Snapshot> CopyLive(std::size_t extra) const;
    // Under mWriteLock: publishes `next`, retires the old array and frees what no walk can read.
    void Publish(std::unique_ptr<Snapshot> next);

    std::atomic<Snapshot*> mCurrent{nullptr};
    mutable std::atomic<std::size_t> mWalkers{0};
    std::mutex mWriteLock;
    std::vector<Snapshot*> mRetired;  // under mWriteLock
};
