#pragma once

// Shared by the property, stream-format and saved-state suites: units opened through the
// component registry (so they have a real instance whose description the saved state reads),
// a listener log, and a way to see a thrown status as a result.

#include <map>
#include <utility>
#include <vector>

#include "format/CFBase.h"
#include "format/ComponentServices.h"
#include "tests/core/PassThroughUnit.h"

namespace marvex::test {

constexpr OSType kTestSubtype = FourCC("ptst");
constexpr OSType kTestManufacturer = FourCC("Mrvx");

// What a call returned, or the status it threw.
template <typename F>
OSStatus StatusOf(F&& call) {
    try {
        return static_cast<OSStatus>(call());
    } catch (OSStatus thrown) {
        return thrown;
    }
}

// The entry routine of a test component: open builds a U, close destroys it. Everything else is
// driven by calling the unit directly.
template <typename U>
ComponentResult TestUnitEntry(ComponentParameters* params, void* storage) {
    switch (params->what) {
        case kComponentOpenSelect: {
            auto instance = UnpackPointer<ComponentInstanceRecord>(params->params[0]);
            auto* unit = new U(instance);
            unit->PostConstructor();
            SetComponentInstanceStorage(instance, unit);
            return noErr;
        }
        case kComponentCloseSelect: {
            auto* unit = static_cast<U*>(storage);
            unit->PreDestructor();
            delete unit;
            return noErr;
        }
        default:
            return badComponentSelector;
    }
}

// An open instance of U, closed on destruction.
template <typename U>
class OpenTestUnit {
public:
    explicit OpenTestUnit(OSType type = kAudioUnitType_Effect, OSType subtype = kTestSubtype,
                          OSType manufacturer = kTestManufacturer) {
        OpenAComponent(Registered(type, subtype, manufacturer), &mInstance);
        if (mInstance == nullptr) throw OSStatus(badComponentInstance);
        mUnit = static_cast<U*>(GetComponentInstanceStorage(mInstance));
    }
    ~OpenTestUnit() { CloseComponent(mInstance); }
    OpenTestUnit(const OpenTestUnit&) = delete;
    OpenTestUnit& operator=(const OpenTestUnit&) = delete;

    U* operator->() const { return mUnit; }
    U& operator*() const { return *mUnit; }
    ComponentInstance Instance() const { return mInstance; }

private:
    // One registration per unit class and description, for the whole test program.
    static Component Registered(OSType type, OSType subtype, OSType manufacturer) {
        static std::map<std::vector<OSType>, Component> registered;
        Component& component = registered[{type, subtype, manufacturer}];
        if (component == nullptr) {
            const ComponentDescription desc{type, subtype, manufacturer, 0, 0};
            component = RegisterComponentEntry(&desc, &TestUnitEntry<U>, "test unit", 1);
        }
        return component;
    }

    ComponentInstance mInstance = nullptr;
    U* mUnit = nullptr;
};

struct Notification {
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    bool operator==(const Notification&) const = default;
};

// Records every property change announced for the ids it listens to, in order.
class ListenerLog {
public:
    // Listens to ids 0 to 63: every id the core knows and a few of a unit's own.
    void ListenToAll(AUBase& unit) {
        for (AudioUnitPropertyID id = 0; id < 64; ++id) unit.AddPropertyListener(id, &Record, this);
    }
    std::vector<Notification> events;

private:
    static void Record(void* refCon, AudioUnit, AudioUnitPropertyID id, AudioUnitScope scope,
                       AudioUnitElement element) {
        static_cast<ListenerLog*>(refCon)->events.push_back({id, scope, element});
    }
};

}  // namespace marvex::test
