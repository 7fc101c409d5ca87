#pragma once
// Internal records behind the component handles. Not for use outside format/.

#include <atomic>
#include <string>

#include "format/ComponentParameters.h"

struct ComponentRecord {
    ComponentDescription description;
    ComponentRoutineProcPtr entry;
    std::string name;
    UInt32 version;
    long openInstances = 0;  // guarded by the registry lock
};

struct ComponentInstanceRecord {
    static constexpr UInt32 kMagic = 0x4D564349;  // "MVCI"
    std::atomic<UInt32> magic{kMagic};
    ComponentRecord* component;
    ComponentRoutineProcPtr entry;
    // Set by the unit during open, read by every later call; release/acquire so a handle
    // handed to another thread carries the storage with it.
    std::atomic<void*> storage{nullptr};
    explicit ComponentInstanceRecord(ComponentRecord* c) : component(c), entry(c->entry) {}
};

namespace marvex::detail {

// [any thread] The instance record, or null for null or a handle that is not (or no longer)
// open.
inline ComponentInstanceRecord* LiveInstance(ComponentInstance instance) {
    if (instance == nullptr) return nullptr;
    if (instance->magic.load(std::memory_order_relaxed) != ComponentInstanceRecord::kMagic)
        return nullptr;
    return instance;
}

}  // namespace marvex::detail
