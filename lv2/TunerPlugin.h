#pragma once

#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "host/HostedUnit.h"
#include "host/PreparedTuner.h"
#include "host/PreparedUnitSwap.h"
#include "lv2/HostFeatures.h"
#include "lv2/InlineDisplay.h"
#include "lv2/InlineNeedle.h"
#include "lv2/PortLayout.h"

namespace marvex::lv2 {

// One instance of the mono or stereo plug-in: a host of the tuner unit. The audio passes from
// each input port to its output port untouched; the unit, opened from the bundle inside the
// plug-in's own bundle, analyses it block by block, and its results go to the control outputs.
//
// The reference pitch is taken when a unit initialises, so a new pitch needs a newly prepared
// unit: the worker prepares it (or the next activate() does, without a worker) and the render
// thread takes it up between two blocks (PreparedUnitSwap). Precision reaches the running unit
// as a parameter. Nothing else touches the rendering unit from another thread: state, display
// and saved settings go through units of their own and values the render thread publishes.
class TunerPlugin {
public:
    // [control, not rendering] Null, with the reason logged, when the rate is unusable or the unit
    // cannot be opened from `unitBundle`.
    static std::unique_ptr<TunerPlugin> create(const PluginKind& kind, double sampleRateHz,
                                               const std::string& unitBundle,
                                               const LV2_Feature* const* features);
    TunerPlugin(const TunerPlugin&) = delete;
    TunerPlugin& operator=(const TunerPlugin&) = delete;

    // [render] Between runs, on the audio thread or before activation.
    void connectPort(std::uint32_t port, void* data);
    // [control, not rendering] A fresh unit with the settings of the moment.
    void activate();
    // [render] No allocation, no lock; any number of frames.
    void run(std::uint32_t frames) noexcept;

    // [control] On the host's worker thread: prepares a unit for a new pitch and releases replaced
    // ones.
    LV2_Worker_Status work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
                           std::uint32_t size, const void* data);
    // [render]
    LV2_Worker_Status workResponse(std::uint32_t size, const void* data) noexcept;

    // [control] The unit's class-info dictionary under kStateKeyUri.
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    // [control, not rendering] A refused state is logged and changes nothing.
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

    // [control] On the host's GUI thread: the needle at the current reading.
    LV2_Inline_Display_Image_Surface* renderInline(std::uint32_t width, std::uint32_t maxHeight);

private:
    struct Settings {
        float pitchHz;
        float precision;
    };
    // A worker job: release what the render thread gave back, and prepare a unit for a pitch.
    struct WorkRequest {
        float pitchHz;
        bool prepare;
    };

    TunerPlugin(const PluginKind& kind, double sampleRateHz, std::uint32_t maxFrames,
                HostFeatures features, Component component, HostedUnit stateUnit);

    TunerSetup setupFor(const Settings& settings) const;
    // [control, not rendering] Prepares a unit for `settings` and makes it current at once.
    void install(const Settings& settings);
    // [render] Port changes become wanted settings; returns them.
    Settings readSettingsPorts() noexcept;
    void requestWork(float pitchHz) noexcept;
    void publish(const std::array<float, kTunerParameterCount>& values, float levelDbfs) noexcept;

    const PluginKind& mKind;
    double mSampleRateHz;
    std::uint32_t mMaxFrames;
    HostFeatures mFeatures;
    Component mComponent;
    std::unique_ptr<PreparedUnitSwap<PreparedTuner>> mSwap;

    std::array<float*, kFirstAudioPort> mControl{};
    std::array<const float*, 2> mAudioIn{};
    std::array<float*, 2> mAudioOut{};

    // [render] Settings: as the ports last read, as wanted, as last requested from the worker.
    Settings mPortsSeen;
    Settings mWanted;
    float mRequestedPitchHz;
    bool mWorkPending = false;

    // Published by the render thread for save() and the display.
    std::atomic<float> mPitchHz;
    std::atomic<float> mPrecision;
    std::atomic<float> mDeviation{0.0f};
    std::atomic<float> mNote{-1.0f};
    std::atomic<float> mLevelDbfs;

    // [control] A unit that never renders: it holds the settings for save() and checks restored
    // states.
    HostedUnit mStateUnit;
    // The two settings as the unit's parameter table describes them.
    ParameterDescription mPitchSetting;
    ParameterDescription mPrecisionSetting;
    InlineNeedle mNeedle;
};

}  // namespace marvex::lv2
