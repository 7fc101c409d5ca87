#include "view/window/X11Window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <stdexcept>

namespace marvex {
namespace {

constexpr long kEventMask = ExposureMask | StructureNotifyMask | ButtonPressMask | KeyPressMask;

}  // namespace

X11Window::X11Window(const char* display, XWindowId parent, int width, int height,
                     const std::string& title, double framesPerSecond, X11WindowEvents events)
    : mWidth(std::max(width, 1)),
      mHeight(std::max(height, 1)),
      mPacer(framesPerSecond),
      mEvents(std::move(events)) {
    mDisplay = XOpenDisplay(display);
    if (mDisplay == nullptr) {
        const char* name = display != nullptr ? display : XDisplayName(nullptr);
        throw std::runtime_error(std::string("cannot open the X display '") +
                                 (name != nullptr ? name : "") + "'");
    }
    const int screen = DefaultScreen(mDisplay);
    // Frames are drawn in memory and put on the screen whole: Cairo's RGB24 pixels are the
    // screen's own on a true-colour display of depth 24, which every current X server offers.
    Visual* visual = DefaultVisual(mDisplay, screen);
    if (DefaultDepth(mDisplay, screen) != 24 || visual->c_class != TrueColor ||
        visual->red_mask != 0xff0000 || visual->green_mask != 0xff00 || visual->blue_mask != 0xff) {
        XCloseDisplay(mDisplay);
        throw std::runtime_error("the X display is not a 24-bit true-colour display");
    }
    mParent = parent != 0 ? parent : RootWindow(mDisplay, screen);
    if (parent != 0) {
        // Follow the host's window: it is resized by the host, this one fills it.
        XWindowAttributes attributes;
        if (XGetWindowAttributes(mDisplay, parent, &attributes) && attributes.width > 1 &&
            attributes.height > 1) {
            mWidth = attributes.width;
            mHeight = attributes.height;
        }
        XSelectInput(mDisplay, parent, StructureNotifyMask);
    }
    mWindow = XCreateSimpleWindow(mDisplay, mParent, 0, 0, static_cast<unsigned>(mWidth),
                                  static_cast<unsigned>(mHeight), 0, BlackPixel(mDisplay, screen),
                                  BlackPixel(mDisplay, screen));
    XSelectInput(mDisplay, mWindow, kEventMask);
    if (parent == 0) {
        XStoreName(mDisplay, mWindow, title.c_str());
        mDeleteWindow = XInternAtom(mDisplay, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(mDisplay, mWindow, &mDeleteWindow, 1);
    }
    XMapRaised(mDisplay, mWindow);
    // A round trip: the server follows the parent's size for us before the host resizes it.
    XSync(mDisplay, False);
}

X11Window::~X11Window() {
    if (mParent != RootWindow(mDisplay, DefaultScreen(mDisplay)))
        XSelectInput(mDisplay, mParent, NoEventMask);
    XDestroyWindow(mDisplay, mWindow);
    XCloseDisplay(mDisplay);
}

int X11Window::connectionNumber() const {
    return ConnectionNumber(mDisplay);
}

void X11Window::processEvents() {
    while (XPending(mDisplay) > 0) {
        XEvent event;
        XNextEvent(mDisplay, &event);
        handle(event);
    }
    if (mRedrawWanted && mPacer.take(FramePacer::Clock::now())) draw();
}

void X11Window::handle(const XEvent& event) {
    switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0) mRedrawWanted = true;
            break;
        case ConfigureNotify:
            if (event.xconfigure.window == mParent) {
                XResizeWindow(mDisplay, mWindow, static_cast<unsigned>(event.xconfigure.width),
                              static_cast<unsigned>(event.xconfigure.height));
            } else if (event.xconfigure.window == mWindow) {
                resize(event.xconfigure.width, event.xconfigure.height);
            }
            break;
        case ButtonPress:
            if (mEvents.press)
                mEvents.press(event.xbutton.x, event.xbutton.y, event.xbutton.button);
            break;
        case KeyPress: {
            char text[8];
            XKeyEvent key = event.xkey;
            const int length = XLookupString(&key, text, sizeof text, nullptr, nullptr);
            if (length > 0 && mEvents.key) mEvents.key(std::string(text, std::size_t(length)));
            break;
        }
        case ClientMessage:
            if (mDeleteWindow != 0 && static_cast<Atom>(event.xclient.data.l[0]) == mDeleteWindow &&
                mEvents.close)
                mEvents.close();
            break;
        default:
            break;
    }
}

void X11Window::resize(int width, int height) {
    if (width < 1 || height < 1 || (width == mWidth && height == mHeight)) return;
    mWidth = width;
    mHeight = height;
    mRedrawWanted = true;
}

void X11Window::draw() {
    mRedrawWanted = false;
    cairo_surface_t* frame = cairo_image_surface_create(CAIRO_FORMAT_RGB24, mWidth, mHeight);
    cairo_t* cairo = cairo_create(frame);
    if (mEvents.draw) mEvents.draw(cairo, mWidth, mHeight);
    cairo_destroy(cairo);
    cairo_surface_flush(frame);
    if (cairo_surface_status(frame) == CAIRO_STATUS_SUCCESS) {
        const int screen = DefaultScreen(mDisplay);
        XImage* image = XCreateImage(mDisplay, DefaultVisual(mDisplay, screen), 24, ZPixmap, 0,
                                     reinterpret_cast<char*>(cairo_image_surface_get_data(frame)),
                                     static_cast<unsigned>(mWidth), static_cast<unsigned>(mHeight),
                                     32, cairo_image_surface_get_stride(frame));
        if (image != nullptr) {
            XPutImage(mDisplay, mWindow, DefaultGC(mDisplay, screen), image, 0, 0, 0, 0,
                      static_cast<unsigned>(mWidth), static_cast<unsigned>(mHeight));
            image->data = nullptr;  // Cairo's, freed with the surface
            XDestroyImage(image);
        }
    }
    cairo_surface_destroy(frame);
    XFlush(mDisplay);
}

}  // namespace marvex
