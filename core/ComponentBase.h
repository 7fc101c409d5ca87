#pragma once

#include "format/ComponentParameters.h"
#include "format/OSStatus.h"

// The base of every component instance: it knows the host's handle of the instance and answers
// the component-level selectors (close, version, can-do). Units derive from it through AUBase.
class ComponentBase {
public:
    explicit ComponentBase(ComponentInstance inInstance) : mComponentInstance(inInstance) {}
    ComponentBase(const ComponentBase&) = delete;
    ComponentBase& operator=(const ComponentBase&) = delete;

    // Virtual slots, in order.
    virtual ~ComponentBase() = default;
    // [control] The component version the host reads; a unit returns its own.
    virtual OSStatus Version() { return 1; }
    // [control] Called right after construction, before the instance is registered.
    virtual void PostConstructor() {}
    // [control] Called right before destruction.
    virtual void PreDestructor() {}

    // [any thread]
    ComponentInstance GetComponentInstance() const { return mComponentInstance; }

    // [control] Close, version and can-do; everything else answers badComponentSelector.
    static OSStatus ComponentEntryDispatch(ComponentParameters* params, ComponentBase* unit);

protected:
    ComponentInstance mComponentInstance;
};
