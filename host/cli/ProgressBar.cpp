#include "host/cli/ProgressBar.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

namespace marvex {

ProgressBar::ProgressBar(std::string label, std::int64_t total, bool wanted)
    : mLabel(std::move(label)), mTotal(total), mActive(wanted && total > 0 && ::isatty(2) == 1) {}

namespace {

bool isLong(const AudioFileInfo& info) {
    constexpr double kLongSeconds = 20.0;
    return static_cast<double>(info.frames) >= kLongSeconds * info.sampleRateHz;
}

}  // namespace

ProgressBar::ProgressBar(const AudioSource& source, bool wanted)
    : ProgressBar(source.displayName(), source.info().frames, wanted && isLong(source.info())) {}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::update(std::int64_t done) {
    if (!mActive) return;
    if (done > mTotal) done = mTotal;
    const int percent = static_cast<int>(done * 100 / mTotal);
    if (percent == mShownPercent) return;
    mShownPercent = percent;
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", mLabel.c_str(), filled,
                 "##############################", kWidth - filled, "", percent);
    std::fflush(stderr);
}

void ProgressBar::finish() {
    if (!mActive) return;
    mActive = false;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

}  // namespace marvex
