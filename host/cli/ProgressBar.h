#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/AudioSource.h"

namespace marvex {

// A progress bar on standard error, drawn only when standard error is a terminal (so pipes and
// logs never see it) and the amount of work is known. Redraws at most once per percent.
class ProgressBar {
public:
    ProgressBar(std::string label, std::int64_t total, bool wanted);
    // The bar for rendering `source`, if `wanted`; short sources finish before a bar would be
    // of use, so it shows only for sources of 20 s and more.
    ProgressBar(const AudioSource& source, bool wanted);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(std::int64_t done);
    // update() as a progress handler for renderFile and tuneSource.
    std::function<void(std::int64_t)> handler() {
        return [this](std::int64_t done) { update(done); };
    }
    // Erases the bar.
    void finish();

private:
    std::string mLabel;
    std::int64_t mTotal;
    bool mActive;
    int mShownPercent = -1;
};

}  // namespace marvex
