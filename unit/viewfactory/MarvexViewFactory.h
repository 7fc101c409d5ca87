#pragma once
// The interface of the tuner's view factory, the module inside the resource bundle
// "QuillmoorMarvex_CocoaViewFactory" that the unit's view property (31) points to. A host loads
// that bundle, looks up the symbol its Info.plist names under "entry" (MarvexViewFactoryEntry)
// and calls it for the table below. The view it builds shows the unit's Deviation parameter as
// a needle; the host calls `update` whenever it wants the needle to follow the unit (after
// renders, or on a timer), then draws or writes the view.

#include "format/AudioUnitProperties.h"
#include "format/ComponentParameters.h"
#include "unit/MarvexIdentity.h"

extern "C" {

// One custom view, bound to one open unit instance. Opaque.
typedef struct MarvexCustomView MarvexCustomView;

enum : UInt32 { kMarvexViewFactoryVersion = 1 };

struct MarvexViewFactory {
    UInt32 version;         // kMarvexViewFactoryVersion
    const char* className;  // "QuillmoorMarvex_CocoaViewFactory"

    // [control] A new view for `unit` (not owned; it must outlive the view), width x height
    // points; 0 for either takes the glass image's natural size. Null when the size is refused
    // or memory runs out. The needle starts at the unit's current Deviation.
    MarvexCustomView* (*createView)(AudioUnit unit, double width, double height);
    // [control] Releases a view; null is ignored.
    void (*releaseView)(MarvexCustomView* view);

    // [control] Reads the unit's Deviation and hands it to the needle (which ignores values
    // outside -1..1). Returns the parameter read's status.
    OSStatus (*update)(MarvexCustomView* view);
    // [control] The deviation the needle shows.
    float (*deviation)(const MarvexCustomView* view);
    // [control] Size of the view in points.
    void (*size)(const MarvexCustomView* view, double* outWidth, double* outHeight);

    // [control] Draw the view as it stands into a PNG or SVG file; false on failure.
    Boolean (*writePNG)(MarvexCustomView* view, const char* path);
    Boolean (*writeSVG)(MarvexCustomView* view, const char* path);

    // [control] The toolkit view itself (an NSView*, borrowed), for hosts that draw it into
    // their own surfaces.
    void* (*toolkitView)(MarvexCustomView* view);
};

// The factory module's one exported symbol.
typedef const MarvexViewFactory* (*MarvexViewFactoryEntryProc)(void);

}  // extern "C"

#define kMarvexViewFactoryEntryName "MarvexViewFactoryEntry"
