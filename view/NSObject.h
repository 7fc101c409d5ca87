#pragma once

#include <atomic>

// Root of the reference-counted toolkit objects. An object starts with one reference (from
// `alloc`); `retain` adds one, `release` drops one and deallocates at zero. Subclasses that
// hold references release them in their `dealloc` override and then call their base's.
class NSObject {
public:
    NSObject(const NSObject&) = delete;
    NSObject& operator=(const NSObject&) = delete;

    // [any thread]
    NSObject* retain();
    // [control, lock-free] Releasing the last reference runs `dealloc` on the calling thread; a
    // release that cannot be the last is fit for any thread.
    void release();
    int retainCount() const { return mRetainCount.load(std::memory_order_relaxed); }

protected:
    NSObject() = default;
    virtual ~NSObject() = default;
    // Frees the object; overrides release what they own first, then call the base.
    virtual void dealloc();

private:
    std::atomic<int> mRetainCount{1};
};

// Releases a toolkit object that may be nil.
inline void NSRelease(NSObject* object) {
    if (object != nullptr) object->release();
}
