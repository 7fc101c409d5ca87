#pragma once

#include <cairo.h>

#include <functional>
#include <string>

#include "view/window/FramePacer.h"

// Xlib's types, declared here so that users of the window do not get Xlib's macros.
struct _XDisplay;
union _XEvent;

namespace marvex {

// An X window id (Xlib's Window).
using XWindowId = unsigned long;

// What a window reports to its owner. Every member may be empty.
struct X11WindowEvents {
    // Draw the whole content into `cairo`, whose target is width x height pixels, y down.
    std::function<void(cairo_t* cairo, int width, int height)> draw;
    // A mouse button pressed at (x, y), y down; button 1 is the left one, 4 and 5 the wheel.
    std::function<void(int x, int y, unsigned button)> press;
    // A key typed, as the text it produced ("+", "q"); keys without text are not reported.
    std::function<void(const std::string& text)> key;
    // The window manager's close box was used (top-level windows only).
    std::function<void()> close;
};

// A window on its own X connection that Cairo draws into: redrawn when exposed, when resized
// and when asked, at most once per display frame, each frame drawn in memory and put on the
// screen whole, so nothing flickers. Embedded in `parent` it follows the parent's size; with no
// parent it is a top-level window with a title and a close box. Nothing blocks: the owner calls
// `processEvents` from its own loop (a host's idle call, or a poll on `connectionNumber`). All
// methods: [control], on the thread that created the window.
class X11Window {
public:
    // Throws std::runtime_error saying why when the display cannot be opened or the window made.
    // `display` null uses $DISPLAY.
    X11Window(const char* display, XWindowId parent, int width, int height,
              const std::string& title, double framesPerSecond, X11WindowEvents events);
    ~X11Window();
    X11Window(const X11Window&) = delete;
    X11Window& operator=(const X11Window&) = delete;

    XWindowId id() const { return mWindow; }
    int width() const { return mWidth; }
    int height() const { return mHeight; }
    // The connection's file descriptor, readable when events wait.
    int connectionNumber() const;
    const FramePacer& pacer() const { return mPacer; }

    // Asks for a redraw at the next frame.
    void requestRedraw() { mRedrawWanted = true; }
    // Handles every pending event, then draws if a redraw is wanted and a frame is due.
    void processEvents();

private:
    void handle(const _XEvent& event);
    void resize(int width, int height);
    void draw();

    _XDisplay* mDisplay = nullptr;
    XWindowId mParent = 0;
    XWindowId mWindow = 0;
    unsigned long mDeleteWindow = 0;  // the WM_DELETE_WINDOW atom
    int mWidth;
    int mHeight;
    bool mRedrawWanted = true;
    FramePacer mPacer;
    X11WindowEvents mEvents;
};

}  // namespace marvex
