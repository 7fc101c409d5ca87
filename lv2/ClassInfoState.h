#pragma once
// The plug-in's saved state: the unit's class-info dictionary as XML property-list text, an
// atom:String under kStateKeyUri. The text is what `marvex state save` writes to a file, so a
// session's state can be read, compared, and given to `marvex --state`.

#include <lv2/state/state.h>

#include <optional>

#include "host/HostedUnit.h"
#include "lv2/HostFeatures.h"

namespace marvex::lv2 {

// Texts longer than this are not a class-info dictionary of ours.
inline constexpr std::size_t kMaxStateBytes = 1u << 20;

// [control] Stores `unit`'s class-info dictionary. Throws HostError when the unit cannot give it.
LV2_State_Status storeClassInfo(HostedUnit& unit, const HostFeatures& host,
                                LV2_State_Store_Function store, LV2_State_Handle handle);

// [control] A new unit of `component` holding the stored dictionary; nothing when there is none
// or it is damaged, foreign or refused by the unit (the reason logged).
std::optional<HostedUnit> retrieveClassInfo(Component component, const HostFeatures& host,
                                            LV2_State_Retrieve_Function retrieve,
                                            LV2_State_Handle handle);

}  // namespace marvex::lv2
