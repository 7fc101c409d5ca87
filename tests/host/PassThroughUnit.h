#pragma once
// A minimal unit for testing the host library without the tuner: it copies its input to its
// output and publishes, as global parameters 2 and 3, the sum of the last block's first channel
// and the last block's frame count. It speaks the selector protocol through a registered entry
// routine, as any unit does.

#include "format/ComponentServices.h"

namespace marvex::test {

// Registers the unit (once per process) and returns its component.
Component PassThroughComponent();

}  // namespace marvex::test
