#include "format/CFBoolean.h"

#include "format/detail/CFValue.h"

using namespace marvex::detail;

namespace {
constinit MarvexCFBoolean gTrue{true};
constinit MarvexCFBoolean gFalse{false};
}  // namespace

extern "C" {

const CFBooleanRef kCFBooleanTrue = &gTrue;
const CFBooleanRef kCFBooleanFalse = &gFalse;

CFTypeID CFBooleanGetTypeID(void) {
    return CFTypeID(ValueKind::Boolean);
}

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
    const MarvexCFBoolean* b = As<MarvexCFBoolean>(boolean);
    return b && b->truth;
}

}  // extern "C"
