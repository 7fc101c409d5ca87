// `marvex live --window` on a private X server, fed a tone by a private JACK server: the window
// opens, draws the note, and its close box ends the program cleanly.

#include <gtest/gtest.h>
// Xlib after GoogleTest: its macros (None, Bool) would break GoogleTest's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

#include "tests/host/live/JackFixture.h"
#include "tests/support/VirtualDisplay.h"

namespace marvex::test {
namespace {

using namespace std::chrono_literals;

// The top-level window named `title`, waited for up to `timeout`; 0 when none appears.
Window findWindow(Display* display, const char* title, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    do {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
        Window found = 0;
        for (unsigned i = 0; i < count && found == 0; ++i) {
            char* name = nullptr;
            if (XFetchName(display, children[i], &name) && name != nullptr) {
                if (std::strcmp(name, title) == 0) found = children[i];
                XFree(name);
            }
        }
        XFree(children);
        if (found != 0) return found;
        std::this_thread::sleep_for(50ms);
    } while (Clock::now() < end);
    return 0;
}

// The share of near-white pixels (the needle, the note name) above the controls, in the top
// three quarters of the window.
double whiteShare(Display* display, Window window) {
    XWindowAttributes a;
    XGetWindowAttributes(display, window, &a);
    XImage* image = XGetImage(display, window, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
    int white = 0;
    for (int y = 0; y < a.height * 3 / 4; ++y)
        for (int x = 0; x < a.width; ++x) white += (XGetPixel(image, x, y) & 0xe0e0e0) == 0xe0e0e0;
    XDestroyImage(image);
    return double(white) / (a.width * a.height);
}

TEST(LiveWindow, OpensDrawsTheNoteAndClosesOnTheCloseBox) {
    VirtualDisplay server;
    JackServer jack;
    ASSERT_TRUE(jack.ready()) << "jackd did not start";
    TonePlayer player(1);
    ASSERT_TRUE(player.ready());
    player.play({melody({{440.0, 30.0}})});
    // Under LeakSanitizer, the font caches the window's text fills are the libraries' own.
    const char* lsan = std::getenv("LSAN_OPTIONS");
    ::setenv("LSAN_OPTIONS",
             (std::string(lsan ? lsan : "") + " suppressions=" MARVEX_FONT_SUPPRESSIONS).c_str(),
             1);
    LiveRun live({"--window", "--connect", player.port(0)});

    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const Window window = findWindow(display, "Marvex", 10s);
    ASSERT_NE(window, 0u) << live.errors();
    // Quiet, the window is dimmed: nothing white. With the tone, the needle and "A4" are.
    for (const auto end = Clock::now() + 10s;
         whiteShare(display, window) < 0.002 && Clock::now() < end;)
        std::this_thread::sleep_for(50ms);
    EXPECT_GE(whiteShare(display, window), 0.002);

    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    XSendEvent(display, window, False, NoEventMask, &close);
    XFlush(display);
    EXPECT_EQ(live.wait(5s), 0) << live.errors();
    EXPECT_EQ(findWindow(display, "Marvex", 0ms), 0u);
    XCloseDisplay(display);
}

}  // namespace
}  // namespace marvex::test
