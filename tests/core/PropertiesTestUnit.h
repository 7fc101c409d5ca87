#pragma once

// Shared by the property, stream-format and saved-state suites: units opened through the
// component registry (so the saved state finds a real instance description), a listener log,
// and a thrown status seen as a result.

#include <tuple>
#include <vector>

#include "core/ComponentEntryPoint.h"
#include "format/ComponentServices.h"
#include "tests/core/PassThroughUnit.h"

namespace marvex::test {

constexpr OSType kTestSubtype = FourCC("ptst"), kTestManufacturer = FourCC("Mrvx");

// The status a call returns or throws.
template <typename F>
OSStatus StatusOf(F&& call) {
    try {
        return static_cast<OSStatus>(call());
    } catch (OSStatus thrown) {
        return thrown;
    }
}

// Units opened through the same entry routine a plug-in has, so a connected unit can be asked
// for its formats and rendered through the component services.
template <typename U>
ComponentResult TestUnitEntry(ComponentParameters* params, void* storage) {
    return ComponentEntryPoint<U>::Dispatch(params, static_cast<U*>(static_cast<AUBase*>(storage)));
}

template <typename U>
class OpenTestUnit {
public:
    OpenTestUnit() {
        static Component component = nullptr;  // one per unit class
        const ComponentDescription desc{kAudioUnitType_Effect, kTestSubtype, kTestManufacturer, 0,
                                        0};
        if (component == nullptr)
            component = RegisterComponentEntry(&desc, &TestUnitEntry<U>, "", 1);
        OpenAComponent(component, &mInstance);
        mUnit = static_cast<U*>(static_cast<AUBase*>(GetComponentInstanceStorage(mInstance)));
    }
    ~OpenTestUnit() { CloseComponent(mInstance); }
    U* operator->() const { return mUnit; }
    U& operator*() const { return *mUnit; }
    ComponentInstance Instance() const { return mInstance; }

private:
    ComponentInstance mInstance = nullptr;
    U* mUnit = nullptr;
};

// Property id, scope and element of one announcement.
using Notifications =
    std::vector<std::tuple<AudioUnitPropertyID, AudioUnitScope, AudioUnitElement>>;

// Records, in order, every change announced for ids 0 to 63.
struct ListenerLog {
    explicit ListenerLog(AUBase& unit) {
        for (AudioUnitPropertyID id = 0; id < 64; ++id) unit.AddPropertyListener(id, &Record, this);
    }
    static void Record(void* log, AudioUnit, AudioUnitPropertyID id, AudioUnitScope scope,
                       AudioUnitElement element) {
        static_cast<ListenerLog*>(log)->events.emplace_back(id, scope, element);
    }
    Notifications events;
};

}  // namespace marvex::test
