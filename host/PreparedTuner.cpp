#include "host/PreparedTuner.h"

#include "host/BlockRecord.h"

namespace marvex {
namespace {

HostedUnit openWith(Component component, const TunerSetup& setup) {
    HostedUnit unit = HostedUnit::open(component);
    unit.setParameter(kTunerPrecision, setup.precision);
    unit.setParameter(kTunerPitch, setup.pitchHz);
    unit.setStreamFormat(setup.sampleRateHz, setup.channels);
    unit.setMaximumFramesPerSlice(setup.maxFrames);
    return unit;
}

}  // namespace

PreparedTuner::PreparedTuner(Component component, const TunerSetup& setup)
    : mSetup(setup),
      mUnit(openWith(component, setup)),
      mRenderer(mUnit, setup.channels, setup.maxFrames) {
    mUnit.initialize();
}

OSStatus PreparedTuner::setPrecision(float precision) noexcept {
    const OSStatus status = mUnit.writeParameter(kTunerPrecision, precision);
    if (status == noErr) mSetup.precision = precision;  // what the unit runs with now
    return status;
}

}  // namespace marvex
