#include "core/PropertyListenerList.h"

namespace {

// Counts a walk in for as long as it runs, also when a listener throws.
class WalkScope {
public:
    explicit WalkScope(std::atomic<std::size_t>& walkers) : mWalkers(walkers) {
        mWalkers.fetch_add(1, std::memory_order_seq_cst);
    }
    ~WalkScope() { mWalkers.fetch_sub(1, std::memory_order_seq_cst); }
    WalkScope(const WalkScope&) = delete;
    WalkScope& operator=(const WalkScope&) = delete;

private:
    std::atomic<std::size_t>& mWalkers;
};

}  // namespace

PropertyListenerList::~PropertyListenerList() {
    delete mCurrent.load();
    for (Snapshot* retired : mRetired) delete retired;
}

void PropertyListenerList::Add(AudioUnitPropertyID inID, AudioUnitPropertyListenerProc inProc,
                               void* inRefCon) {
    std::lock_guard<std::mutex> lock(mWriteLock);
    std::unique_ptr<Snapshot> next = CopyLive(1);
    Entry& added = next->entries[next->count - 1];
    added.id = inID;
    added.proc.store(inProc, std::memory_order_relaxed);
    added.refCon = inRefCon;
    Publish(std::move(next));
}

void PropertyListenerList::Remove(AudioUnitPropertyID inID, AudioUnitPropertyListenerProc inProc,
                                  void* inRefCon, bool inRefConSpecified) {
    std::lock_guard<std::mutex> lock(mWriteLock);
    auto matches = [&](const Entry& e) {
        return e.id == inID && e.proc.load(std::memory_order_relaxed) == inProc &&
               (!inRefConSpecified || e.refCon == inRefCon);
    };
    bool removed = false;
    auto clear = [&](Snapshot* snapshot) {
        for (std::size_t i = 0; snapshot != nullptr && i < snapshot->count; ++i) {
            if (!matches(snapshot->entries[i])) continue;
            snapshot->entries[i].proc.store(nullptr, std::memory_order_relaxed);
            removed = true;
        }
    };
    for (Snapshot* retired : mRetired) clear(retired);
    clear(mCurrent.load(std::memory_order_relaxed));
    if (removed) Publish(CopyLive(0));
}

void PropertyListenerList::Notify(AudioUnit inUnit, AudioUnitPropertyID inID,
                                  AudioUnitScope inScope, AudioUnitElement inElement) const {
    const WalkScope walk(mWalkers);
    const Snapshot* snapshot = mCurrent.load(std::memory_order_seq_cst);
    if (snapshot == nullptr) return;
    for (std::size_t i = 0; i < snapshot->count; ++i) {
        const Entry& entry = snapshot->entries[i];
        if (entry.id != inID) continue;
        // Read just before the call, so a removal made by an earlier listener is seen.
        const AudioUnitPropertyListenerProc proc = entry.proc.load(std::memory_order_relaxed);
        if (proc != nullptr) proc(entry.refCon, inUnit, inID, inScope, inElement);
    }
}

std::unique_ptr<PropertyListenerList::Snapshot> PropertyListenerList::CopyLive(
    std::size_t extra) const {
    const Snapshot* current = mCurrent.load(std::memory_order_relaxed);
    std::size_t live = 0;
    for (std::size_t i = 0; current != nullptr && i < current->count; ++i)
        if (current->entries[i].proc.load(std::memory_order_relaxed) != nullptr) ++live;
    auto next = std::make_unique<Snapshot>(live + extra);
    std::size_t at = 0;
    for (std::size_t i = 0; current != nullptr && i < current->count; ++i) {
        const Entry& entry = current->entries[i];
        const AudioUnitPropertyListenerProc proc = entry.proc.load(std::memory_order_relaxed);
        if (proc == nullptr) continue;
        next->entries[at].id = entry.id;
        next->entries[at].proc.store(proc, std::memory_order_relaxed);
        next->entries[at].refCon = entry.refCon;
        ++at;
    }
    return next;
}

void PropertyListenerList::Publish(std::unique_ptr<Snapshot> next) {
    Snapshot* old = mCurrent.exchange(next.release(), std::memory_order_seq_cst);
    if (old != nullptr) mRetired.push_back(old);
    if (mWalkers.load(std::memory_order_seq_cst) != 0) return;
    for (Snapshot* retired : mRetired) delete retired;
    mRetired.clear();
}
