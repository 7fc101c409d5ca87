#pragma once

#include <cstdint>
#include <span>

namespace marvex {

// The level of a block of audio in dBFS, as a tuner's front ends show it and gate on it: the RMS
// of the samples against full scale (a full-scale square wave reads 0 dBFS, a full-scale sine
// -3.01). Silence and anything below kLevelFloorDbfs read kLevelFloorDbfs, so a level is always
// a finite number a control port or a display can take. Samples that are not finite are left
// out of the measure. Every function is fit for a render thread: no allocation, no lock.
inline constexpr float kLevelFloorDbfs = -120.0f;

// [any thread] One channel's block.
float channelLevelDbfs(std::span<const float> samples) noexcept;

// [any thread] `frames` frames of each channel in `channels`: writes each channel's level into
// `perChannelDbfs` (as many as both spans hold) and returns the level of all samples together.
float blockLevelDbfs(std::span<const float* const> channels, std::uint32_t frames,
                     std::span<float> perChannelDbfs = {}) noexcept;

}  // namespace marvex
