// A minimal plug-in module for the bundle tests: one entry routine that answers its version.

#include "format/ComponentParameters.h"

extern "C" __attribute__((visibility("default"))) ComponentResult TestPlugInEntry(
    ComponentParameters* params, void*) {
    return params->what == kComponentVersionSelect ? 0x00020000 : 0;
}
