#pragma once
// One supported channel configuration (-1 and -2 are the usual wildcards).

#include "format/PlatformTypes.h"

struct AUChannelInfo {
    SInt16 inChannels;
    SInt16 outChannels;
};

static_assert(sizeof(AUChannelInfo) == 4);
