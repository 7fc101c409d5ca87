// The module's one exported symbol, lv2_descriptor, and the C entries hosts call. Each entry
// is noexcept and hands over to TunerPlugin, which never lets an exception reach the host.
#include <dlfcn.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "lv2/InlineDisplay.h"
#include "lv2/PortLayout.h"
#include "lv2/TunerPlugin.h"

namespace marvex::lv2 {
namespace {

TunerPlugin* plugin(LV2_Handle handle) {
    return static_cast<TunerPlugin*>(handle);
}

// The unit's bundle sits beside this module, wherever the plug-in's bundle was put.
std::string unitBundleDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&unitBundleDirectory), &info) == 0 ||
        info.dli_fname == nullptr)
        return "Marvex.bundle";
    return (std::filesystem::path(info.dli_fname).parent_path() / "Marvex.bundle").string();
}

template <std::size_t Kind>
LV2_Handle instantiate(const LV2_Descriptor*, double sampleRate, const char*,
                       const LV2_Feature* const* features) noexcept {
    try {
        return TunerPlugin::create(kPluginKinds[Kind], sampleRate, unitBundleDirectory(), features)
            .release();
    } catch (...) {
        return nullptr;  // out of memory before the plug-in could log anything
    }
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) noexcept {
    plugin(handle)->connectPort(port, data);
}

void activate(LV2_Handle handle) noexcept {
    plugin(handle)->activate();
}

void run(LV2_Handle handle, uint32_t frames) noexcept {
    plugin(handle)->run(frames);
}

void deactivate(LV2_Handle) noexcept {}

void cleanup(LV2_Handle handle) noexcept {
    delete plugin(handle);
}

LV2_Worker_Status work(LV2_Handle handle, LV2_Worker_Respond_Function respond,
                       LV2_Worker_Respond_Handle respondHandle, uint32_t size,
                       const void* data) noexcept {
    try {
        return plugin(handle)->work(respond, respondHandle, size, data);
    } catch (...) {
        return LV2_WORKER_ERR_NO_SPACE;
    }
}

LV2_Worker_Status workResponse(LV2_Handle handle, uint32_t size, const void* data) noexcept {
    return plugin(handle)->workResponse(size, data);
}

LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state,
                      uint32_t, const LV2_Feature* const*) noexcept {
    try {
        return plugin(handle)->save(store, state);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle state, uint32_t, const LV2_Feature* const*) noexcept {
    try {
        return plugin(handle)->restore(retrieve, state);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

LV2_Inline_Display_Image_Surface* renderInline(LV2_Handle handle, uint32_t width,
                                               uint32_t maxHeight) noexcept {
    try {
        return plugin(handle)->renderInline(width, maxHeight);
    } catch (...) {
        return nullptr;
    }
}

const void* extensionData(const char* uri) noexcept {
    static const LV2_Worker_Interface worker{work, workResponse, nullptr};
    static const LV2_State_Interface state{save, restore};
    static const LV2_Inline_Display_Interface display{renderInline};
    if (std::strcmp(uri, LV2_WORKER__interface) == 0) return &worker;
    if (std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
    if (std::strcmp(uri, MARVEX_INLINE_DISPLAY_INTERFACE) == 0) return &display;
    return nullptr;
}

template <std::size_t Kind>
constexpr LV2_Descriptor descriptor{
    kPluginKinds[Kind].uri, instantiate<Kind>, connectPort, activate, run, deactivate, cleanup,
    extensionData};

}  // namespace
}  // namespace marvex::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    switch (index) {
        case 0:
            return &marvex::lv2::descriptor<0>;
        case 1:
            return &marvex::lv2::descriptor<1>;
        default:
            return nullptr;
    }
}
