#include "format/ComponentServices.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

#include "format/detail/ComponentRecords.h"

using marvex::detail::LiveInstance;

namespace {

struct Registry {
    std::mutex lock;
    std::vector<ComponentRecord*> components;
    std::unordered_set<ComponentInstanceRecord*> instances;
};

// Never destroyed: instances may be closed from static destructors of hosts.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

bool Registered(Registry& r, Component c) {
    return c != nullptr &&
           std::find(r.components.begin(), r.components.end(), c) != r.components.end();
}

bool Matches(const ComponentDescription& have, const ComponentDescription* looking) {
    if (looking == nullptr) return true;
    auto field = [](OSType want, OSType got) { return want == 0 || want == got; };
    return field(looking->componentType, have.componentType) &&
           field(looking->componentSubType, have.componentSubType) &&
           field(looking->componentManufacturer, have.componentManufacturer) &&
           ((have.componentFlags ^ looking->componentFlags) & looking->componentFlagsMask) == 0;
}

ComponentResult CallEntry(ComponentInstanceRecord* inst, SInt16 what, void* storage) {
    ComponentParameters block{};
    block.what = what;
    block.paramSize = sizeof(ComponentParameterWord);
    block.params[0] = marvex::PackPointer(inst);
    try {
        return inst->entry(&block, storage);
    } catch (...) {
        return -1;  // an entry must not throw; never let it cross into the host
    }
}

}  // namespace

extern "C" {

Component RegisterComponentEntry(const ComponentDescription* description,
                                 ComponentRoutineProcPtr entry, const char* name, UInt32 version) {
    if (description == nullptr || entry == nullptr) return nullptr;
    Registry& r = TheRegistry();
    try {
        auto* c = new ComponentRecord{*description, entry, name ? name : "", version};
        std::lock_guard<std::mutex> guard(r.lock);
        try {
            r.components.push_back(c);
        } catch (...) {
            delete c;
            return nullptr;
        }
        return c;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

OSStatus UnregisterComponent(Component component) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (!Registered(r, component)) return badComponentInstance;
    if (component->openInstances > 0) return paramErr;
    r.components.erase(std::find(r.components.begin(), r.components.end(), component));
    delete component;
    return noErr;
}

Component FindNextComponent(Component previous, const ComponentDescription* looking) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.components.begin();
    if (previous != nullptr) {
        it = std::find(r.components.begin(), r.components.end(), previous);
        if (it == r.components.end()) return nullptr;
        ++it;
    }
    for (; it != r.components.end(); ++it)
        if (Matches((*it)->description, looking)) return *it;
    return nullptr;
}

long CountComponents(const ComponentDescription* looking) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    return long(std::count_if(r.components.begin(), r.components.end(), [&](ComponentRecord* c) {
        return Matches(c->description, looking);
    }));
}

OSStatus GetComponentDescription(Component component, ComponentDescription* outDescription) {
    if (outDescription == nullptr) return paramErr;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (!Registered(r, component)) return badComponentInstance;
    *outDescription = component->description;
    return noErr;
}

const char* GetComponentName(Component component) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    return Registered(r, component) ? component->name.c_str() : "";
}

UInt32 GetComponentVersionNumber(Component component) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    return Registered(r, component) ? component->version : 0;
}

OSStatus OpenAComponent(Component component, ComponentInstance* outInstance) {
    if (outInstance == nullptr) return paramErr;
    *outInstance = nullptr;
    Registry& r = TheRegistry();
    ComponentInstanceRecord* inst = nullptr;
    {
        std::lock_guard<std::mutex> guard(r.lock);
        if (!Registered(r, component)) return badComponentInstance;
        inst = new (std::nothrow) ComponentInstanceRecord(component);
        if (inst == nullptr) return memFullErr;
        try {
            r.instances.insert(inst);
        } catch (...) {
            delete inst;
            return memFullErr;
        }
        ++component->openInstances;
    }
    // The entry runs without the lock: it may open, query or close other instances.
    const ComponentResult result = CallEntry(inst, kComponentOpenSelect, nullptr);
    if (result != noErr) {
        {
            std::lock_guard<std::mutex> guard(r.lock);
            r.instances.erase(inst);
            --component->openInstances;
        }
        inst->magic.store(0, std::memory_order_relaxed);
        delete inst;
        return result;
    }
    *outInstance = inst;
    return noErr;
}

OSStatus CloseComponent(ComponentInstance instance) {
    Registry& r = TheRegistry();
    {
        std::lock_guard<std::mutex> guard(r.lock);
        // Removing first makes a second close of the same handle fail cleanly.
        if (instance == nullptr || r.instances.erase(instance) == 0) return badComponentInstance;
    }
    const ComponentResult result = CallEntry(instance, kComponentCloseSelect,
                                             instance->storage.load(std::memory_order_acquire));
    instance->magic.store(0, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> guard(r.lock);
        --instance->component->openInstances;
    }
    delete instance;
    return result;
}

void SetComponentInstanceStorage(ComponentInstance instance, void* storage) {
    if (ComponentInstanceRecord* inst = LiveInstance(instance))
        inst->storage.store(storage, std::memory_order_release);
}

void* GetComponentInstanceStorage(ComponentInstance instance) {
    ComponentInstanceRecord* inst = LiveInstance(instance);
    return inst ? inst->storage.load(std::memory_order_acquire) : nullptr;
}

OSStatus GetComponentInfo(ComponentInstance instance, ComponentDescription* outDescription,
                          void* name, void* info, void* icon) {
    ComponentInstanceRecord* inst = LiveInstance(instance);
    if (inst == nullptr) return badComponentInstance;
    if (outDescription == nullptr || name || info || icon) return paramErr;
    // The component cannot be unregistered while this instance is open, and its description
    // never changes: no lock needed.
    *outDescription = inst->component->description;
    return noErr;
}

Component GetComponentOfInstance(ComponentInstance instance) {
    ComponentInstanceRecord* inst = LiveInstance(instance);
    return inst ? inst->component : nullptr;
}

}  // extern "C"

long marvex::OpenInstanceCount() {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    return long(r.instances.size());
}
