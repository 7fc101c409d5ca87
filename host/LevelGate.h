#pragma once

#include "host/RegisterEstimator.h"

namespace marvex {

// When the gate opens and closes. A tone must be both loud enough and clearly periodic:
// level alone cannot tell a quiet instrument from room noise, so the gate can sit low enough
// for a tone at -60 dBFS and still keep noise of any level out.
struct LevelGateSettings {
    double openDbfs = -70.0;    // RMS below about 5.5 kHz; a full-scale sine is -3
    double hysteresisDb = 6.0;  // closes this far below openDbfs: a decaying string lasts
    double openClarity = 0.5;   // periodicity needed to open
    double closeClarity = 0.3;  // below this the sound is no longer a tone
    int closeReadings = 2;      // consecutive readings (46 ms each) that must fail to close
};

// [render] A gate with hysteresis over the register estimator's readings.
class LevelGate {
public:
    explicit LevelGate(const LevelGateSettings& settings = {}) : mSettings(settings) {}

    // Takes one reading; returns whether the gate is open after it.
    bool update(const RegisterReading& reading) {
        if (!mOpen) {
            mOpen =
                reading.levelDbfs >= mSettings.openDbfs && reading.clarity >= mSettings.openClarity;
            mFailing = 0;
        } else if (reading.levelDbfs < mSettings.openDbfs - mSettings.hysteresisDb ||
                   reading.clarity < mSettings.closeClarity) {
            mOpen = ++mFailing < mSettings.closeReadings;
        } else {
            mFailing = 0;
        }
        return mOpen;
    }
    bool open() const { return mOpen; }
    void close() {
        mOpen = false;
        mFailing = 0;
    }
    const LevelGateSettings& settings() const { return mSettings; }

private:
    LevelGateSettings mSettings;
    bool mOpen = false;
    int mFailing = 0;
};

}  // namespace marvex
