#pragma once

#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstdint>
#include <optional>

#include "lv2/InlineDisplay.h"

namespace marvex::lv2 {

// What the host offers at instantiation, all of it optional: without a URID map there are no
// options and no state; without a worker, changes that need a newly prepared unit wait for the
// next activation.
class HostFeatures {
public:
    // [control, not rendering]
    explicit HostFeatures(const LV2_Feature* const* features);

    const LV2_URID_Map* map() const { return mMap; }
    const LV2_Worker_Schedule* worker() const { return mWorker; }
    const LV2_Inline_Display* queueDraw() const { return mQueueDraw; }
    // The longest block the host announced (maximum, else nominal length), if it did.
    std::optional<std::uint32_t> announcedBlockLength() const { return mBlockLength; }

    LV2_URID urid(const char* uri) const {
        return mMap != nullptr ? mMap->map(mMap->handle, uri) : 0;
    }

    // [control] Reports a problem through the host's log, or standard error without one.
    void logError(const char* format, ...) const __attribute__((format(printf, 2, 3)));

private:
    const LV2_URID_Map* mMap = nullptr;
    const LV2_Log_Log* mLog = nullptr;
    const LV2_Worker_Schedule* mWorker = nullptr;
    const LV2_Inline_Display* mQueueDraw = nullptr;
    std::optional<std::uint32_t> mBlockLength;
    LV2_URID mErrorType = 0;
};

}  // namespace marvex::lv2
