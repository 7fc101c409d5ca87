#pragma once

#include <cstdint>
#include <new>

#include "core/AUBase.h"
#include "format/ComponentParameters.h"
#include "format/ComponentServices.h"
#include "format/OSStatus.h"

namespace marvex {

// [any thread] The one translation point from exceptions to statuses at the host boundary (the
// entry point and the three fast paths): an allocation failure is memFullErr, a carried 32-bit or
// 16-bit status is returned as it is (the 16-bit one sign-extended), anything else is -1.
template <class Call>
OSStatus CallWithStatusBarrier(Call&& inCall) noexcept {
    try {
        return inCall();
    } catch (const std::bad_alloc&) {
        return memFullErr;
    } catch (std::int32_t status) {
        return status;
    } catch (std::int16_t status) {
        return status;
    } catch (...) {
        return -1;
    }
}

}  // namespace marvex

// The dispatcher behind a plug-in's entry routine: creates a Class on open and turns every other
// selector into a call on it through AUBase::ComponentEntryDispatch.
template <class Class>
class ComponentEntryPoint {
public:
    // Each selector from the thread its call is tagged for (AudioUnitCalls.h).
    static OSStatus Dispatch(ComponentParameters* params, Class* obj) noexcept {
        if (params == nullptr) return paramErr;
        return marvex::CallWithStatusBarrier([&]() -> OSStatus {
            if (params->what == kComponentOpenSelect) {
                const auto instance =
                    marvex::UnpackPointer<ComponentInstanceRecord>(params->params[0]);
                // A constructor that throws frees its memory before the barrier sees the error.
                Class* unit = new Class(instance);
                try {
                    unit->PostConstructor();
                } catch (...) {
                    // A unit that failed to finish is not kept alive without an owner.
                    delete unit;
                    throw;
                }
                // Stored as the AUBase it is, which is what the fast paths and every later call
                // expect.
                SetComponentInstanceStorage(instance, static_cast<AUBase*>(unit));
                return noErr;
            }
            return AUBase::ComponentEntryDispatch(params, obj);
        });
    }
};
