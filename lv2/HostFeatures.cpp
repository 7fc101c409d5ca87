#include "lv2/HostFeatures.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace marvex::lv2 {
namespace {

const void* feature(const LV2_Feature* const* features, const char* uri) {
    for (; features != nullptr && *features != nullptr; ++features)
        if (std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
    return nullptr;
}

}  // namespace

HostFeatures::HostFeatures(const LV2_Feature* const* features)
    : mMap(static_cast<const LV2_URID_Map*>(feature(features, LV2_URID__map))),
      mLog(static_cast<const LV2_Log_Log*>(feature(features, LV2_LOG__log))),
      mWorker(static_cast<const LV2_Worker_Schedule*>(feature(features, LV2_WORKER__schedule))),
      mQueueDraw(static_cast<const LV2_Inline_Display*>(
          feature(features, MARVEX_INLINE_DISPLAY_QUEUE_DRAW))) {
    mErrorType = urid(LV2_LOG__Error);
    const auto* options =
        static_cast<const LV2_Options_Option*>(feature(features, LV2_OPTIONS__options));
    if (options == nullptr || mMap == nullptr) return;
    const LV2_URID maxLength = urid(LV2_BUF_SIZE__maxBlockLength);
    const LV2_URID nominalLength = urid(LV2_BUF_SIZE__nominalBlockLength);
    const LV2_URID intType = urid(LV2_ATOM__Int);
    std::optional<std::uint32_t> nominal;
    for (const LV2_Options_Option* o = options; o->key != 0 || o->value != nullptr; ++o) {
        if (o->type != intType || o->size != sizeof(int32_t) || o->value == nullptr) continue;
        const int32_t value = *static_cast<const int32_t*>(o->value);
        if (value <= 0) continue;
        if (o->key == maxLength) mBlockLength = static_cast<std::uint32_t>(value);
        if (o->key == nominalLength) nominal = static_cast<std::uint32_t>(value);
    }
    if (!mBlockLength) mBlockLength = nominal;
}

void HostFeatures::logError(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    if (mLog != nullptr && mErrorType != 0) {
        mLog->vprintf(mLog->handle, mErrorType, format, args);
    } else {
        std::fputs("marvex.lv2: ", stderr);
        std::vfprintf(stderr, format, args);
    }
    va_end(args);
}

}  // namespace marvex::lv2
