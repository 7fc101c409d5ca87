#pragma once
// The component registry: components (a description and an entry routine) are registered,
// instances opened and closed; each instance has one storage word the unit sets at open.
//
// Open passes kComponentOpenSelect to the entry with the new instance handle in params[0] and a
// null storage word; a non-zero result closes nothing (the unit is not there) and leaves no
// instance. Close passes kComponentCloseSelect with the handle in params[0] and the storage,
// then forgets the instance whatever the result. Everything that reads or changes the registry
// (registering, finding, describing, opening, closing) takes its lock; the per-instance
// functions (storage, selector calls, render) take none, so they are fit for a render thread.
// A handle must not be used after its close.

#include "format/ComponentParameters.h"
#include "format/OSStatus.h"

extern "C" {

// [control, locks] Registers an entry routine under a description. `name` may be null. Returns
// null for a null description or entry, or when memory runs out.
Component RegisterComponentEntry(const ComponentDescription* description,
                                 ComponentRoutineProcPtr entry, const char* name, UInt32 version);
// [control, locks] Forgets a component; refused with paramErr while instances of it are open, and
// with badComponentInstance for an unknown handle.
OSStatus UnregisterComponent(Component component);

// [control, locks] The next registered component after `previous` (null: the first) whose type,
// subtype and manufacturer equal those of `looking`, where a zero field matches anything;
// flags are compared under looking->componentFlagsMask. A null `looking` matches every
// component. Null when there is none.
Component FindNextComponent(Component previous, const ComponentDescription* looking);
// [control, locks] Number of registered components matching as FindNextComponent does.
long CountComponents(const ComponentDescription* looking);

// [control, locks] The registered description, name ("" when none) and version of a component.
OSStatus GetComponentDescription(Component component, ComponentDescription* outDescription);
const char* GetComponentName(Component component);
UInt32 GetComponentVersionNumber(Component component);

// [control, locks] Opens an instance: see above. *outInstance is null on failure.
OSStatus OpenAComponent(Component component, ComponentInstance* outInstance);
// [control, locks] Closes an instance; returns the entry's result for the close selector.
OSStatus CloseComponent(ComponentInstance instance);

// [any thread] The instance's storage word. Setting it is what a unit does at open.
void SetComponentInstanceStorage(ComponentInstance instance, void* storage);
void* GetComponentInstanceStorage(ComponentInstance instance);

// [any thread] Fills the description of the instance's component. `name`, `info` and `icon`
// are not supported and must be null (paramErr otherwise).
OSStatus GetComponentInfo(ComponentInstance instance, ComponentDescription* outDescription,
                          void* name, void* info, void* icon);

// [any thread] The component an instance was opened from.
Component GetComponentOfInstance(ComponentInstance instance);

}  // extern "C"

namespace marvex {

// [control, locks] Number of instances open in this process (for leak checks in tests).
long OpenInstanceCount();

}  // namespace marvex
