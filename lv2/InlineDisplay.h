#pragma once
// The inline-display extension some hosts (Ardour's mixer strip) offer: the plug-in draws a
// small picture of itself on request. No system header declares it, so its two structs are
// written out here as the hosts define them.

#include <lv2/core/lv2.h>

#include <cstdint>

#define MARVEX_INLINE_DISPLAY_URI "http://harrisonconsoles.com/lv2/inlinedisplay"
#define MARVEX_INLINE_DISPLAY_INTERFACE MARVEX_INLINE_DISPLAY_URI "#interface"
#define MARVEX_INLINE_DISPLAY_QUEUE_DRAW MARVEX_INLINE_DISPLAY_URI "#queue_draw"

extern "C" {

// Premultiplied ARGB32 pixels (Cairo's image format), owned by the plug-in until cleanup.
typedef struct {
    unsigned char* data;
    int width;
    int height;
    int stride;
} LV2_Inline_Display_Image_Surface;

// The extension data the plug-in returns for MARVEX_INLINE_DISPLAY_INTERFACE. render() runs on
// the host's GUI thread and may return null.
typedef struct {
    LV2_Inline_Display_Image_Surface* (*render)(LV2_Handle instance, uint32_t w, uint32_t max_h);
} LV2_Inline_Display_Interface;

// The feature the host passes as MARVEX_INLINE_DISPLAY_QUEUE_DRAW: asks for a render() soon.
// Callable from run().
typedef struct {
    void* handle;
    void (*queue_draw)(void* handle);
} LV2_Inline_Display;

}  // extern "C"
