#include "elements/AUOutputElement.h"

AUOutputElement::AUOutputElement(marvex::AUElementOwner* unit) : AUIOElement(unit) {
    AllocateBuffer();
}

OSStatus AUOutputElement::SetStreamFormat(const CAStreamBasicDescription& format) {
    const OSStatus result = AUIOElement::SetStreamFormat(format);
    if (result == noErr) AllocateBuffer();
    return result;
}
