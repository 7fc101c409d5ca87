#include "host/live/LiveText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/TextNeedle.h"

namespace marvex {
namespace {

constexpr int kNeedleHalfWidth = 20;
constexpr float kBarFloorDbfs = -60.0f;

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

std::string channelLine(const LiveChannelView& view) {
    std::string reading;
    double cents = NAN;
    if (view.listening) {
        reading = "listening";
    } else if (view.bin) {
        cents = view.centsOff;
        reading = format("%-4s %+6.1f cents %9.2f Hz", view.note.c_str(), cents,
                         static_cast<double>(view.frequencyHz));
    } else {
        reading = "(no steady pitch)";
    }
    return format("%-5s %-32s %s %5.0f dBFS %s", view.port.c_str(), reading.c_str(),
                  textNeedle(cents, kNeedleHalfWidth).c_str(), static_cast<double>(view.levelDbfs),
                  levelBar(view.levelDbfs).c_str());
}

}  // namespace

std::string levelBar(float levelDbfs, int cells) {
    const float fraction = std::clamp((levelDbfs - kBarFloorDbfs) / -kBarFloorDbfs, 0.0f, 1.0f);
    const int full = static_cast<int>(std::lround(fraction * static_cast<float>(cells)));
    return "[" + std::string(static_cast<std::size_t>(full), '#') +
           std::string(static_cast<std::size_t>(cells - full), '-') + "]";
}

std::vector<std::string> liveTextLines(const LiveSnapshot& snapshot) {
    std::vector<std::string> lines;
    const std::string scale = snapshot.temperament.empty()
                                  ? std::string()
                                  : "   " + snapshot.temperament + " on " + snapshot.tonic;
    lines.push_back(
        format("marvex live   reference A4 = %g Hz%s   precision %d   %g Hz, %u frames"
               "   client %s",
               static_cast<double>(snapshot.pitchHz), scale.c_str(), snapshot.precision,
               snapshot.sampleRateHz, snapshot.periodFrames, snapshot.client.c_str()));
    for (const LiveChannelView& view : snapshot.channels) lines.push_back(channelLine(view));
    lines.push_back("+ / - reference pitch   p precision   q quit");
    return lines;
}

}  // namespace marvex
