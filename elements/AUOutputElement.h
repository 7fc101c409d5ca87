#pragma once
// An output bus: always owns sample memory for the unit to render into.

#include "elements/AUIOElement.h"

class AUOutputElement : public AUIOElement {
public:
    // [control] Allocates at once when the unit is already initialised.
    explicit AUOutputElement(marvex::AUElementOwner* unit);
    ~AUOutputElement() override = default;

    // [control, uninitialised] The base's, then AllocateBuffer() on success.
    OSStatus SetStreamFormat(const CAStreamBasicDescription& format) override;
    bool NeedsBufferSpace() const override { return true; }
};
