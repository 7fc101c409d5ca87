#pragma once
// A minimal unit for testing the host library without the tuner: it copies its input to its
// output and publishes, as global parameters 2, 3 and 4, the sum of the last block's last channel,
// the last block's frame count and its sample time. It speaks the selector protocol through a
// registered entry routine, as any unit does. It refuses more than 8 channels. Built also as the
// module of a fixture bundle (PassThroughModule.cpp) so `marvex` can be run against it.

#include "format/ComponentServices.h"

namespace marvex::test {

// The unit's entry routine.
ComponentResult PassThroughEntry(ComponentParameters* params, void* storage);

// Registers the unit (once per process) and returns its component.
Component PassThroughComponent();

}  // namespace marvex::test
