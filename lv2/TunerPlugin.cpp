#include "lv2/TunerPlugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/LevelMeter.h"
#include "lv2/ClassInfoState.h"

namespace marvex::lv2 {
namespace {

// Without an announced block length, long host blocks are cut into blocks of this many frames.
constexpr std::uint32_t kDefaultMaxFrames = 4096;

// A setting as the unit takes it: within its range (a host writing outside it is held at the
// nearest edge), and for Precision, which the unit compares exactly, the nearest whole step.
float settingValue(const ParameterDescription& setting, float value, float fallback) {
    if (!std::isfinite(value)) return fallback;
    if (setting.unit == kAudioUnitParameterUnit_Indexed) value = std::nearbyint(value);
    return std::clamp(value, setting.minValue, setting.maxValue);
}

ParameterDescription describe(HostedUnit& unit, AudioUnitParameterID id) {
    for (const ParameterDescription& p : unit.parameterTable())
        if (p.id == id) return p;
    throw HostError(HostErrorKind::Plugin, "the unit lacks parameter " + std::to_string(id));
}

}  // namespace

std::unique_ptr<TunerPlugin> TunerPlugin::create(const PluginKind& kind, double sampleRateHz,
                                                 const std::string& unitBundle,
                                                 const LV2_Feature* const* features) {
    HostFeatures host(features);
    if (!std::isfinite(sampleRateHz) || sampleRateHz <= 0.0) {
        host.logError("cannot run at a sample rate of %g Hz\n", sampleRateHz);
        return nullptr;
    }
    const std::uint32_t maxFrames = host.announcedBlockLength().value_or(kDefaultMaxFrames);
    try {
        const Component component = loadPluginComponent(unitBundle);
        HostedUnit stateUnit = HostedUnit::open(component);
        std::unique_ptr<TunerPlugin> plugin(
            new TunerPlugin(kind, sampleRateHz, maxFrames, host, component, std::move(stateUnit)));
        return plugin;
    } catch (const std::exception& error) {
        host.logError("%s\n", error.what());
        return nullptr;
    }
}

TunerPlugin::TunerPlugin(const PluginKind& kind, double sampleRateHz, std::uint32_t maxFrames,
                         HostFeatures features, Component component, HostedUnit stateUnit)
    : mKind(kind),
      mSampleRateHz(sampleRateHz),
      mMaxFrames(maxFrames),
      mFeatures(features),
      mComponent(component),
      mLevelDbfs(kLevelFloorDbfs),
      mStateUnit(std::move(stateUnit)),
      mPitchSetting(describe(mStateUnit, kTunerPitch)),
      mPrecisionSetting(describe(mStateUnit, kTunerPrecision)),
      mNeedle(component) {
    const Settings defaults{mPitchSetting.defaultValue, mPrecisionSetting.defaultValue};
    mPortsSeen = mWanted = defaults;
    mRequestedPitchHz = defaults.pitchHz;
    mPitchHz = defaults.pitchHz;
    mPrecision = defaults.precision;
    mSwap = std::make_unique<PreparedUnitSwap<PreparedTuner>>(
        std::make_unique<PreparedTuner>(mComponent, setupFor(defaults)));
}

TunerSetup TunerPlugin::setupFor(const Settings& settings) const {
    TunerSetup setup;
    setup.sampleRateHz = mSampleRateHz;
    setup.channels = mKind.channels;
    setup.maxFrames = mMaxFrames;
    setup.pitchHz = settings.pitchHz;
    setup.precision = settings.precision;
    return setup;
}

void TunerPlugin::connectPort(std::uint32_t port, void* data) {
    if (port < kFirstAudioPort) {
        mControl[port] = static_cast<float*>(data);
    } else if (port < kFirstAudioPort + mKind.channels) {
        mAudioIn[port - kFirstAudioPort] = static_cast<const float*>(data);
    } else if (port < mKind.portCount()) {
        mAudioOut[port - kFirstAudioPort - mKind.channels] = static_cast<float*>(data);
    }
}

void TunerPlugin::install(const Settings& settings) {
    mSwap->offer(std::make_unique<PreparedTuner>(mComponent, setupFor(settings)));
    mSwap->current();
    mSwap->releaseRetired();
    mWanted = settings;
    mRequestedPitchHz = settings.pitchHz;
    mPitchHz = settings.pitchHz;
    mPrecision = settings.precision;
}

void TunerPlugin::activate() {
    // A host may drop a job's response across deactivation; a lost one must not block the next.
    mWorkPending = false;
    try {
        install(readSettingsPorts());
    } catch (const std::exception& error) {
        // The unit prepared before goes on with the settings it had.
        mFeatures.logError("cannot prepare the tuner: %s\n", error.what());
    }
}

TunerPlugin::Settings TunerPlugin::readSettingsPorts() noexcept {
    if (mControl[kPortPitch] != nullptr) {
        const float pitch = settingValue(mPitchSetting, *mControl[kPortPitch], mWanted.pitchHz);
        if (pitch != mPortsSeen.pitchHz) mPortsSeen.pitchHz = mWanted.pitchHz = pitch;
    }
    if (mControl[kPortPrecision] != nullptr) {
        const float precision =
            settingValue(mPrecisionSetting, *mControl[kPortPrecision], mWanted.precision);
        if (precision != mPortsSeen.precision) mPortsSeen.precision = mWanted.precision = precision;
    }
    return mWanted;
}

void TunerPlugin::requestWork(float pitchHz) noexcept {
    const LV2_Worker_Schedule* worker = mFeatures.worker();
    if (worker == nullptr || mWorkPending) return;
    const WorkRequest request{pitchHz, pitchHz != mRequestedPitchHz};
    if (worker->schedule_work(worker->handle, sizeof request, &request) != LV2_WORKER_SUCCESS)
        return;  // the host's queue is full: asked again on the next run
    mWorkPending = true;
    mRequestedPitchHz = pitchHz;
}

void TunerPlugin::run(std::uint32_t frames) noexcept {
    const Settings wanted = readSettingsPorts();
    if (wanted.pitchHz != mRequestedPitchHz || mSwap->hasRetired()) requestWork(wanted.pitchHz);

    PreparedTuner& tuner = mSwap->current();
    if (tuner.setup().precision != wanted.precision) tuner.setPrecision(wanted.precision);

    const std::uint32_t channels = mKind.channels;
    const float* in[2] = {};
    for (std::uint32_t c = 0; c < channels; ++c) {
        in[c] = mAudioIn[c];
        // The host may run in place (one buffer for input and output): nothing to copy then.
        if (in[c] != nullptr && mAudioOut[c] != nullptr && mAudioOut[c] != in[c])
            std::memmove(mAudioOut[c], in[c], std::size_t{frames} * sizeof(float));
    }
    if (std::any_of(in, in + channels, [](const float* p) { return p == nullptr; })) return;

    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t block = std::min(frames - done, mMaxFrames);
        const float* slice[2] = {in[0] + done, channels > 1 ? in[1] + done : nullptr};
        tuner.render(std::span<const float* const>(slice, channels), block);
        done += block;
    }
    std::array<float, kTunerParameterCount> values{};
    if (tuner.readParameters(values) != noErr) return;
    publish(values, blockLevelDbfs(std::span<const float* const>(in, channels), frames));
    mPitchHz.store(tuner.setup().pitchHz, std::memory_order_relaxed);
    mPrecision.store(tuner.setup().precision, std::memory_order_relaxed);
}

void TunerPlugin::publish(const std::array<float, kTunerParameterCount>& values,
                          float levelDbfs) noexcept {
    for (const ControlPort& port : kControlPorts) {
        if (port.input || mControl[port.index] == nullptr) continue;
        *mControl[port.index] =
            port.parameter ? values[*port.parameter] : std::min(levelDbfs, kLevelPortMaxDbfs);
    }
    const float deviation = values[kTunerDeviation];
    const float note = values[kTunerNote];
    const bool changed = deviation != mDeviation.load(std::memory_order_relaxed) ||
                         note != mNote.load(std::memory_order_relaxed) ||
                         InlineNeedle::dimmed(levelDbfs) !=
                             InlineNeedle::dimmed(mLevelDbfs.load(std::memory_order_relaxed));
    mDeviation.store(deviation, std::memory_order_relaxed);
    mNote.store(note, std::memory_order_relaxed);
    mLevelDbfs.store(levelDbfs, std::memory_order_relaxed);
    if (changed && mFeatures.queueDraw() != nullptr)
        mFeatures.queueDraw()->queue_draw(mFeatures.queueDraw()->handle);
}

LV2_Worker_Status TunerPlugin::work(LV2_Worker_Respond_Function respond,
                                    LV2_Worker_Respond_Handle handle, std::uint32_t size,
                                    const void* data) {
    WorkRequest request{};
    if (size != sizeof request || data == nullptr) return LV2_WORKER_ERR_UNKNOWN;
    std::memcpy(&request, data, sizeof request);
    mSwap->releaseRetired();
    if (request.prepare) {
        try {
            Settings settings{request.pitchHz, mPrecision.load(std::memory_order_relaxed)};
            mSwap->offer(std::make_unique<PreparedTuner>(mComponent, setupFor(settings)));
        } catch (const std::exception& error) {
            mFeatures.logError("cannot prepare the tuner for %g Hz: %s\n", request.pitchHz,
                               error.what());
        }
    }
    const char done = 1;
    return respond(handle, sizeof done, &done);
}

LV2_Worker_Status TunerPlugin::workResponse(std::uint32_t, const void*) noexcept {
    mWorkPending = false;
    return LV2_WORKER_SUCCESS;
}

LV2_State_Status TunerPlugin::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    try {
        mStateUnit.setParameter(kTunerPitch, mPitchHz.load(std::memory_order_relaxed));
        mStateUnit.setParameter(kTunerPrecision, mPrecision.load(std::memory_order_relaxed));
        return storeClassInfo(mStateUnit, mFeatures, store, handle);
    } catch (const std::exception& error) {
        mFeatures.logError("cannot save the tuner's state: %s\n", error.what());
        return LV2_STATE_ERR_UNKNOWN;
    }
}

LV2_State_Status TunerPlugin::restore(LV2_State_Retrieve_Function retrieve,
                                      LV2_State_Handle handle) {
    try {
        std::optional<HostedUnit> restored =
            retrieveClassInfo(mComponent, mFeatures, retrieve, handle);
        if (!restored) return LV2_STATE_ERR_NO_PROPERTY;
        const Settings settings{
            settingValue(mPitchSetting, restored->parameter(kTunerPitch), mWanted.pitchHz),
            settingValue(mPrecisionSetting, restored->parameter(kTunerPrecision),
                         mWanted.precision)};
        install(settings);
        mStateUnit = std::move(*restored);
        return LV2_STATE_SUCCESS;
    } catch (const std::exception& error) {
        mFeatures.logError("cannot restore the tuner's state: %s\n", error.what());
        return LV2_STATE_ERR_UNKNOWN;
    }
}

LV2_Inline_Display_Image_Surface* TunerPlugin::renderInline(std::uint32_t width,
                                                            std::uint32_t maxHeight) {
    return mNeedle.render(width, maxHeight, mDeviation.load(std::memory_order_relaxed),
                          mNote.load(std::memory_order_relaxed),
                          mLevelDbfs.load(std::memory_order_relaxed));
}

}  // namespace marvex::lv2
