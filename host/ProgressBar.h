#pragma once

#include <cstdint>
#include <string>

namespace marvex {

// A progress bar on standard error, drawn only when standard error is a terminal (so pipes and
// logs never see it) and the amount of work is known. Redraws at most once per percent.
class ProgressBar {
public:
    ProgressBar(std::string label, std::int64_t total, bool wanted);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    bool active() const { return mActive; }
    void update(std::int64_t done);
    // Erases the bar.
    void finish();

private:
    std::string mLabel;
    std::int64_t mTotal;
    bool mActive;
    int mShownPercent = -1;
};

}  // namespace marvex
