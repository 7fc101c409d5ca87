#pragma once

#include <utility>

namespace marvex {

// Owns one reference to a toolkit object (see NSObject) and releases it when it goes. Adopts
// the reference it is given; use `retain()` on the object first to share one already held.
// [control] throughout, as the release it makes may deallocate.
template <typename T>
class Retained {
public:
    Retained() = default;
    explicit Retained(T* adopted) : mObject(adopted) {}
    Retained(const Retained&) = delete;
    Retained& operator=(const Retained&) = delete;
    Retained(Retained&& other) noexcept : mObject(std::exchange(other.mObject, nullptr)) {}
    Retained& operator=(Retained&& other) noexcept {
        if (this != &other) reset(std::exchange(other.mObject, nullptr));
        return *this;
    }
    ~Retained() { reset(); }

    void reset(T* adopted = nullptr) {
        T* old = std::exchange(mObject, adopted);
        if (old != nullptr) old->release();
    }
    T* get() const { return mObject; }
    T* operator->() const { return mObject; }
    T& operator*() const { return *mObject; }
    explicit operator bool() const { return mObject != nullptr; }

private:
    T* mObject = nullptr;
};

}  // namespace marvex
