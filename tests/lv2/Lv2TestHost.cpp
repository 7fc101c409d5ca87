#include "tests/lv2/Lv2TestHost.h"

#include <algorithm>
#include <cmath>

namespace marvex::test {

Lv2Instance::Lv2Instance(const LilvPlugin* plugin, double sampleRateHz, bool offerWorker) {
    mFeatures = {{LV2_URID__map, &mMap},
                 {LV2_LOG__log, &mLogFeature},
                 {MARVEX_INLINE_DISPLAY_QUEUE_DRAW, &mQueueDraw}};
    if (offerWorker) mFeatures.push_back({LV2_WORKER__schedule, &mSchedule});
    for (const LV2_Feature& f : mFeatures) mFeatureList.push_back(&f);
    mFeatureList.push_back(nullptr);

    mInstance = lilv_plugin_instantiate(plugin, sampleRateHz, mFeatureList.data());
    if (mInstance == nullptr) return;
    const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
    mChannels = (ports - static_cast<std::uint32_t>(mControls.size())) / 2;
    std::vector<float> defaults(ports, 0.0f);
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
    for (std::uint32_t p = 0; p < mControls.size(); ++p) {
        mControls[p] = std::isnan(defaults[p]) ? 0.0f : defaults[p];
        lilv_instance_connect_port(mInstance, p, &mControls[p]);
    }
}

void Lv2Instance::connectAudio(std::uint32_t maxFrames, bool inPlace) {
    mInPlace = inPlace;
    mInputs.assign(mChannels, std::vector<float>(maxFrames));
    mOutputs.assign(mChannels, std::vector<float>(maxFrames));
    const auto firstAudio = static_cast<std::uint32_t>(mControls.size());
    for (std::uint32_t c = 0; c < mChannels; ++c) {
        lilv_instance_connect_port(mInstance, firstAudio + c, mInputs[c].data());
        lilv_instance_connect_port(mInstance, firstAudio + mChannels + c, output(c));
    }
}

std::vector<std::vector<float>> Lv2Instance::process(const std::vector<std::vector<float>>& signal,
                                                     std::uint32_t block) {
    if (mInputs.empty() || mInputs[0].size() < block) connectAudio(block, mInPlace);
    std::vector<std::vector<float>> out(mChannels);
    const std::size_t frames = signal[0].size();
    for (std::size_t at = 0; at < frames; at += block) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(block, frames - at));
        for (std::uint32_t c = 0; c < mChannels; ++c)
            std::memcpy(input(c), signal[c].data() + at, n * sizeof(float));
        run(n);
        for (std::uint32_t c = 0; c < mChannels; ++c)
            out[c].insert(out[c].end(), output(c), output(c) + n);
    }
    return out;
}

int Lv2Instance::runWorker() {
    const auto* worker = static_cast<const LV2_Worker_Interface*>(
        lilv_instance_get_extension_data(mInstance, LV2_WORKER__interface));
    LV2_Handle handle = lilv_instance_get_handle(mInstance);
    const std::size_t jobs = mRequests.count;
    for (std::size_t i = 0; i < jobs; ++i)
        worker->work(handle, &Queue::push, &mResponses, mRequests.sizes[i],
                     mRequests.messages[i].data());
    for (std::size_t i = 0; i < mResponses.count; ++i)
        worker->work_response(handle, mResponses.sizes[i], mResponses.messages[i].data());
    mRequests.count = mResponses.count = 0;
    return static_cast<int>(jobs);
}

std::vector<float> sine(double frequencyHz, double sampleRateHz, std::size_t frames) {
    std::vector<float> samples(frames);
    for (std::size_t i = 0; i < frames; ++i)
        samples[i] = static_cast<float>(
            0.5 * std::sin(2.0 * M_PI * frequencyHz * static_cast<double>(i) / sampleRateHz));
    return samples;
}

}  // namespace marvex::test
