// The pass-through unit as a plug-in module: its one exported symbol is the entry routine.
#include "tests/host/PassThroughUnit.h"

extern "C" __attribute__((visibility("default"))) ComponentResult PassThroughEntry(
    ComponentParameters* params, void* storage) {
    return marvex::test::PassThroughEntry(params, storage);
}
