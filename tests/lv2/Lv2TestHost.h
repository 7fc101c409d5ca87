#pragma once
// A small LV2 host on lilv for tests, benchmarks and pictures: it loads one bundle the way DAWs
// do, offers the features the tuner reads (URID map, log, options, worker, inline-display
// queue), and runs instances on buffers it owns. The worker is driven by the caller (runWorker)
// so a test decides when the "worker thread" runs; scheduling from run() neither allocates nor
// locks.
#include <lilv/lilv.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "lv2/InlineDisplay.h"

namespace marvex::test {

class Lv2World {
public:
    // Loads the bundle directory `bundle` only (nothing from LV2_PATH).
    explicit Lv2World(const std::string& bundle);
    ~Lv2World();
    Lv2World(const Lv2World&) = delete;
    Lv2World& operator=(const Lv2World&) = delete;

    LilvWorld* world() const { return mWorld; }
    // The plug-in with this URI, or null.
    const LilvPlugin* plugin(const char* uri) const;

private:
    LilvWorld* mWorld;
};

struct HostOptions {
    bool worker = true;
    std::uint32_t maxBlockLength = 0;  // 0: not announced
};

// One instance with its buffers: control values by port index, audio by channel.
class Lv2Instance {
public:
    Lv2Instance(const LilvPlugin* plugin, double sampleRateHz, const HostOptions& options = {});
    ~Lv2Instance();
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    // Null when the plug-in refused to instantiate; see log().
    LilvInstance* instance() const { return mInstance; }
    explicit operator bool() const { return mInstance != nullptr; }
    const std::string& log() const { return mLog; }
    std::uint32_t channels() const { return mChannels; }

    float& control(std::uint32_t port) { return mControls[port]; }
    // Connects the audio ports to the instance's buffers, in place (one buffer per channel for
    // input and output) or not, for blocks of up to maxFrames.
    void connectAudio(std::uint32_t maxFrames, bool inPlace);
    float* input(std::uint32_t channel) { return mInputs[channel].data(); }
    float* output(std::uint32_t channel) {
        return mInPlace ? mInputs[channel].data() : mOutputs[channel].data();
    }

    void activate() { lilv_instance_activate(mInstance); }
    void deactivate() { lilv_instance_deactivate(mInstance); }
    void run(std::uint32_t frames) { lilv_instance_run(mInstance, frames); }
    // Feeds `signal` (one vector per channel) through run() in blocks of `block` frames;
    // returns the output.
    std::vector<std::vector<float>> process(const std::vector<std::vector<float>>& signal,
                                            std::uint32_t block);

    // The worker: runs what run() scheduled, then hands the responses back as the host would
    // before the next run(). Returns the number of jobs run.
    int runWorker();

    const LV2_Inline_Display_Interface* inlineDisplay() const;
    int drawRequests() const { return mDrawRequests; }

    // The URID map the instance was given, the host's one map.
    LV2_URID_Map* map() { return &mMap; }
    const LV2_Feature* const* features() const { return mFeatureList.data(); }

private:
    static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri);
    static int logPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...);
    static int logVprintf(LV2_Log_Handle handle, LV2_URID type, const char* format, va_list args);
    static LV2_Worker_Status schedule(LV2_Worker_Schedule_Handle handle, uint32_t size,
                                      const void* data);
    static LV2_Worker_Status respond(LV2_Worker_Respond_Handle handle, uint32_t size,
                                     const void* data);

    struct Message {
        std::uint32_t size = 0;
        std::array<unsigned char, 64> bytes{};
    };
    static LV2_Worker_Status push(std::array<Message, 8>& queue, std::size_t& count, uint32_t size,
                                  const void* data);

    LV2_URID_Map mMap{};
    LV2_Log_Log mLogFeature{};
    LV2_Worker_Schedule mSchedule{};
    LV2_Inline_Display mQueueDraw{};
    std::int32_t mBlockLength = 0;
    std::array<LV2_Options_Option, 2> mOptions{};
    std::vector<LV2_Feature> mFeatures;
    std::vector<const LV2_Feature*> mFeatureList;

    LilvInstance* mInstance = nullptr;
    std::string mLog;
    std::uint32_t mChannels = 0;
    std::array<float, 9> mControls{};
    std::vector<std::vector<float>> mInputs, mOutputs;
    bool mInPlace = false;
    std::array<Message, 8> mRequests{}, mResponses{};
    std::size_t mRequestCount = 0, mResponseCount = 0;
    int mDrawRequests = 0;
};

// A sine of `frequencyHz` at amplitude 0.5.
std::vector<float> sine(double frequencyHz, double sampleRateHz, std::size_t frames);

}  // namespace marvex::test
