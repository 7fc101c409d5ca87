#include "host/LevelMeter.h"

#include <algorithm>
#include <cmath>

namespace marvex {
namespace {

struct PowerSum {
    double sum = 0.0;
    std::uint64_t count = 0;

    void add(std::span<const float> samples) {
        // Eight independent single-precision partial sums keep the multiply-adds in flight and
        // in vector registers (the build keeps IEEE order, so one running sum would be a single
        // dependency chain); each chunk's partials go into a double, so long blocks keep their
        // precision. Samples that are not finite make the total so; only then is the block
        // summed again without them.
        constexpr std::size_t kChunk = 4096;
        double total = 0.0;
        for (std::size_t start = 0; start < samples.size(); start += kChunk) {
            const std::span<const float> chunk =
                samples.subspan(start, std::min(kChunk, samples.size() - start));
            float partial[8] = {};
            const std::size_t whole = chunk.size() / 8 * 8;
            for (std::size_t i = 0; i < whole; i += 8)
                for (std::size_t k = 0; k < 8; ++k) partial[k] += chunk[i + k] * chunk[i + k];
            for (std::size_t i = whole; i < chunk.size(); ++i)
                partial[i - whole] += chunk[i] * chunk[i];
            for (float p : partial) total += p;
        }
        if (std::isfinite(total)) {
            sum += total;
            count += samples.size();
            return;
        }
        for (const float sample : samples) {
            if (!std::isfinite(sample)) continue;
            sum += static_cast<double>(sample) * sample;
            ++count;
        }
    }

    float dbfs() const {
        if (count == 0 || sum <= 0.0) return kLevelFloorDbfs;
        const double db = 10.0 * std::log10(sum / static_cast<double>(count));
        return static_cast<float>(std::max<double>(db, kLevelFloorDbfs));
    }
};

}  // namespace

float channelLevelDbfs(std::span<const float> samples) noexcept {
    PowerSum power;
    power.add(samples);
    return power.dbfs();
}

float blockLevelDbfs(std::span<const float* const> channels, std::uint32_t frames,
                     std::span<float> perChannelDbfs) noexcept {
    PowerSum all;
    for (std::size_t c = 0; c < channels.size(); ++c) {
        PowerSum one;
        if (channels[c] != nullptr) one.add({channels[c], frames});
        if (c < perChannelDbfs.size()) perChannelDbfs[c] = one.dbfs();
        all.sum += one.sum;
        all.count += one.count;
    }
    return all.dbfs();
}

}  // namespace marvex
