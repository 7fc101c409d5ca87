#pragma once
// A small LV2 host on lilv for tests: it loads one bundle the way DAWs do, offers the features
// the tuner reads (URID map, log, worker, inline-display queue), and runs instances on buffers it
// owns. The worker is driven by the caller (runWorker) so a test decides when the "worker thread"
// runs; scheduling from run() neither allocates nor locks.
#include <lilv/lilv.h>
#include <lv2/log/log.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "lv2/InlineDisplay.h"

namespace marvex::test {

// Loads the bundle directory `bundle` only (nothing from LV2_PATH).
class Lv2World {
public:
    explicit Lv2World(const std::string& bundle) {
        LilvNode* node = lilv_new_file_uri(mWorld, nullptr, (bundle + "/").c_str());
        lilv_world_load_bundle(mWorld, node);
        lilv_node_free(node);
    }
    ~Lv2World() { lilv_world_free(mWorld); }
    Lv2World(const Lv2World&) = delete;
    Lv2World& operator=(const Lv2World&) = delete;

    // The plug-in with this URI, or null.
    const LilvPlugin* plugin(const char* uri) const {
        LilvNode* node = lilv_new_uri(mWorld, uri);
        const LilvPlugin* found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(mWorld), node);
        lilv_node_free(node);
        return found;
    }

private:
    LilvWorld* mWorld = lilv_world_new();
};

// One instance with its buffers: control values by port index, audio by channel.
class Lv2Instance {
public:
    Lv2Instance(const LilvPlugin* plugin, double sampleRateHz, bool offerWorker = true);
    ~Lv2Instance() {
        if (mInstance != nullptr) lilv_instance_free(mInstance);
    }
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

    const LV2_Inline_Display_Interface* inlineDisplay() const {
        return static_cast<const LV2_Inline_Display_Interface*>(
            lilv_instance_get_extension_data(mInstance, MARVEX_INLINE_DISPLAY_INTERFACE));
    }
    int drawRequests() const { return mDrawRequests; }

private:
    // Fixed room, so that scheduling from run() allocates nothing.
    struct Queue {
        std::array<std::array<unsigned char, 64>, 8> messages{};
        std::array<std::uint32_t, 8> sizes{};
        std::size_t count = 0;

        static LV2_Worker_Status push(void* queue, uint32_t size, const void* data) {
            auto& q = *static_cast<Queue*>(queue);
            if (q.count == q.sizes.size() || size > q.messages[0].size())
                return LV2_WORKER_ERR_NO_SPACE;
            std::memcpy(q.messages[q.count].data(), data, size);
            q.sizes[q.count++] = size;
            return LV2_WORKER_SUCCESS;
        }
    };

    static LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
        // One map for the whole host, as a host has: states saved by one instance restore into
        // another.
        static std::unordered_map<std::string, LV2_URID> urids;
        return urids.emplace(uri, static_cast<LV2_URID>(urids.size() + 1)).first->second;
    }
    static int logVprintf(LV2_Log_Handle handle, LV2_URID, const char* format, va_list args) {
        char text[1024];
        const int n = std::vsnprintf(text, sizeof text, format, args);
        static_cast<Lv2Instance*>(handle)->mLog += text;
        return n;
    }

    LV2_URID_Map mMap{this, &Lv2Instance::mapUri};
    LV2_Log_Log mLogFeature{this, nullptr, &Lv2Instance::logVprintf};  // the plug-in uses vprintf
    LV2_Worker_Schedule mSchedule{&mRequests, &Queue::push};
    LV2_Inline_Display mQueueDraw{
        this, [](void* handle) { ++static_cast<Lv2Instance*>(handle)->mDrawRequests; }};
    std::vector<LV2_Feature> mFeatures;
    std::vector<const LV2_Feature*> mFeatureList;

    LilvInstance* mInstance = nullptr;
    std::string mLog;
    std::uint32_t mChannels = 0;
    std::array<float, 9> mControls{};
    std::vector<std::vector<float>> mInputs, mOutputs;
    bool mInPlace = false;
    Queue mRequests, mResponses;
    int mDrawRequests = 0;
};

// A sine of `frequencyHz` at amplitude 0.5.
std::vector<float> sine(double frequencyHz, double sampleRateHz, std::size_t frames);

}  // namespace marvex::test
