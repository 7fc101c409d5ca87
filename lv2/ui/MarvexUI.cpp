// The plug-ins' X11 UI: the tuner's window embedded in the host's, following the plug-in's
// output ports and writing its reference pitch and Precision. The module exports only
// lv2ui_descriptor; every entry catches here, since nothing may throw into the host.

#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "host/LevelGate.h"
#include "host/NoteName.h"
#include "host/window/TunerWindow.h"
#include "lv2/PortLayout.h"

namespace marvex {
namespace {

using namespace lv2;

struct HostFeatures {
    XWindowId parent = 0;
    const LV2UI_Resize* resize = nullptr;
    double framesPerSecond = 0;  // 0: the window's default
};

HostFeatures readFeatures(const LV2_Feature* const* features) {
    HostFeatures found;
    const LV2_URID_Map* map = nullptr;
    const LV2_Options_Option* options = nullptr;
    for (; features != nullptr && *features != nullptr; ++features) {
        const char* uri = (*features)->URI;
        void* data = (*features)->data;
        if (std::strcmp(uri, LV2_UI__parent) == 0) found.parent = reinterpret_cast<XWindowId>(data);
        if (std::strcmp(uri, LV2_UI__resize) == 0) found.resize = static_cast<LV2UI_Resize*>(data);
        if (std::strcmp(uri, LV2_URID__map) == 0) map = static_cast<LV2_URID_Map*>(data);
        if (std::strcmp(uri, LV2_OPTIONS__options) == 0)
            options = static_cast<LV2_Options_Option*>(data);
    }
    if (map == nullptr || options == nullptr) return found;
    // The host's display pace, when it says: redraws never come faster.
    const LV2_URID updateRate = map->map(map->handle, LV2_UI__updateRate);
    const LV2_URID floatType = map->map(map->handle, LV2_ATOM__Float);
    for (; options->key != 0; ++options) {
        if (options->key == updateRate && options->type == floatType &&
            options->size == sizeof(float))
            found.framesPerSecond = *static_cast<const float*>(options->value);
    }
    return found;
}

// What the plug-in's output ports said last.
struct PortValues {
    float frequencyHz = NAN;
    float centralHz = NAN;
    float note = NAN;
    float deviation = NAN;
    float levelDbfs = -INFINITY;
};

PanelReading readingOf(const PortValues& values) {
    PanelReading reading;
    // Quieter than the level at which the front ends' gate opens is silence, whatever the tuner
    // last found. (The gate also asks for a periodic sound; the ports carry only the level.)
    reading.silent = !(values.levelDbfs >= LevelGateSettings{}.openDbfs);
    if (const auto bin = noteBin(values.note)) {
        reading.note = noteName(*bin);
        reading.frequencyHz = values.frequencyHz;
        if (values.frequencyHz > 0 && values.centralHz > 0)
            reading.centsOff = 1200.0 * std::log2(double(values.frequencyHz) / values.centralHz);
    }
    return reading;
}

class TunerUi {
public:
    TunerUi(const std::string& bundlePath, const HostFeatures& features, LV2UI_Write_Function write,
            LV2UI_Controller controller)
        : mWrite(write),
          mController(controller),
          mWindow(bundlePath + "/Marvex.bundle", features.parent, features.framesPerSecond,
                  {[this](float pitchHz) { writePort(kPortPitch, pitchHz); },
                   [this](float precision) { writePort(kPortPrecision, precision); },
                   {}}) {
        if (features.resize != nullptr)
            features.resize->ui_resize(features.resize->handle, mWindow.window().width(),
                                       mWindow.window().height());
    }

    LV2UI_Widget widget() { return reinterpret_cast<LV2UI_Widget>(mWindow.window().id()); }

    void portEvent(std::uint32_t port, float value) {
        switch (port) {
            case kPortPitch:
                mWindow.showPitch(value);
                return;
            case kPortPrecision:
                mWindow.showPrecision(value);
                return;
            case kPortFrequency:
                mValues.frequencyHz = value;
                break;
            case kPortCentral:
                mValues.centralHz = value;
                break;
            case kPortNote:
                mValues.note = value;
                break;
            case kPortDeviation:
                mValues.deviation = value;
                break;
            case kPortLevel:
                mValues.levelDbfs = value;
                break;
            default:
                return;
        }
        mWindow.show(mValues.deviation, readingOf(mValues));
    }

    void idle() { mWindow.processEvents(); }

private:
    void writePort(std::uint32_t port, float value) {
        if (mWrite != nullptr) mWrite(mController, port, sizeof value, 0, &value);
    }

    LV2UI_Write_Function mWrite;
    LV2UI_Controller mController;
    PortValues mValues;
    TunerWindow mWindow;
};

void logFailure(const char* what) {
    std::fprintf(stderr, "Marvex UI: %s\n", what);
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char* bundlePath,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
    const HostFeatures found = readFeatures(features);
    if (found.parent == 0 || bundlePath == nullptr || widget == nullptr) {
        logFailure("the host offers no parent window (ui:parent)");
        return nullptr;
    }
    try {
        auto ui = std::make_unique<TunerUi>(bundlePath, found, write, controller);
        *widget = ui->widget();
        return ui.release();
    } catch (const std::exception& error) {
        logFailure(error.what());
        return nullptr;
    }
}

void cleanup(LV2UI_Handle handle) {
    delete static_cast<TunerUi*>(handle);
}

void portEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer) {
    if (handle == nullptr || format != 0 || size != sizeof(float) || buffer == nullptr) return;
    float value;
    std::memcpy(&value, buffer, sizeof value);
    try {
        static_cast<TunerUi*>(handle)->portEvent(port, value);
    } catch (const std::exception& error) {
        logFailure(error.what());
    }
}

int idle(LV2UI_Handle handle) {
    try {
        static_cast<TunerUi*>(handle)->idle();
    } catch (const std::exception& error) {
        logFailure(error.what());
    }
    return 0;
}

const LV2UI_Idle_Interface kIdle = {&idle};

const void* extensionData(const char* uri) {
    return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &kIdle : nullptr;
}

const LV2UI_Descriptor kDescriptor = {kUiUri, &instantiate, &cleanup, &portEvent, &extensionData};

}  // namespace
}  // namespace marvex

extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor* lv2ui_descriptor(
    std::uint32_t index) {
    return index == 0 ? &marvex::kDescriptor : nullptr;
}
