// The UI as a host drives it: instantiated into a parent window on a private X server, fed port
// events, idled, and read back pixel by pixel.

#include <gtest/gtest.h>
// Xlib after GoogleTest: its macros (None, Bool) would break GoogleTest's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <lv2/ui/ui.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "tests/support/VirtualDisplay.h"
#include "view/window/TunerPanel.h"

namespace {

using marvex::PanelControl;
using marvex::TunerPanel;

// The needle view's size: its glass's, the view's natural one.
NSSize needleSize() {
    cairo_surface_t* glass = cairo_image_surface_create_from_png(MARVEX_GLASS_PNG);
    const NSSize size{double(cairo_image_surface_get_width(glass)),
                      double(cairo_image_surface_get_height(glass))};
    cairo_surface_destroy(glass);
    return size;
}

int openDescriptors() {
    int count = 0;
    DIR* fds = ::opendir("/proc/self/fd");
    while (::readdir(fds) != nullptr) ++count;
    ::closedir(fds);
    return count;
}

class TunerUiTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        sServer = new marvex::test::VirtualDisplay;
        sModule = ::dlopen(MARVEX_UI_MODULE, RTLD_NOW | RTLD_LOCAL);
    }
    static void TearDownTestSuite() {
        delete sServer;
        // Cairo and fontconfig keep the fonts and the configuration they looked up for the
        // process's life; let go of them so that LeakSanitizer sees only what the UI kept.
        cairo_debug_reset_static_data();
        FcFini();
    }

    void SetUp() override {
        ASSERT_NE(sModule, nullptr) << ::dlerror();
        auto entry =
            reinterpret_cast<LV2UI_DescriptorFunction>(::dlsym(sModule, "lv2ui_descriptor"));
        mDescriptor = entry(0);
        mDisplay = XOpenDisplay(nullptr);
        ASSERT_NE(mDisplay, nullptr);
        mParent =
            XCreateSimpleWindow(mDisplay, DefaultRootWindow(mDisplay), 0, 0, 440, 150, 0, 0, 0);
        XMapWindow(mDisplay, mParent);
        XSync(mDisplay, False);
    }
    void TearDown() override {
        if (mDisplay == nullptr) return;
        destroy();
        XDestroyWindow(mDisplay, mParent);
        XCloseDisplay(mDisplay);
    }

    void instantiate(bool offerParent = true) {
        LV2_Feature parent{LV2_UI__parent, reinterpret_cast<void*>(mParent)};
        LV2UI_Resize resize{this, [](LV2UI_Feature_Handle self, int w, int h) {
                                static_cast<TunerUiTest*>(self)->mAnnounced = {w, h};
                                return 0;
                            }};
        LV2_Feature resizeFeature{LV2_UI__resize, &resize};
        const LV2_Feature* features[] = {&resizeFeature, offerParent ? &parent : nullptr, nullptr};
        LV2UI_Widget widget = nullptr;
        mUi = mDescriptor->instantiate(mDescriptor, "urn:marvex:tuner:mono", MARVEX_UNIT_DIR,
                                       &TunerUiTest::recordWrite, this, &widget, features);
        mWindow = reinterpret_cast<Window>(widget);
    }
    void destroy() {
        if (mUi != nullptr) mDescriptor->cleanup(mUi);
        mUi = nullptr;
    }
    static void recordWrite(LV2UI_Controller self, uint32_t port, uint32_t size, uint32_t format,
                            const void* value) {
        ASSERT_EQ(size, sizeof(float));
        ASSERT_EQ(format, 0u);
        static_cast<TunerUiTest*>(self)->mWrites.emplace_back(port,
                                                              *static_cast<const float*>(value));
    }

    void send(uint32_t port, float value) {
        mDescriptor->port_event(mUi, port, sizeof value, 0, &value);
    }
    void sound(float note, float deviation, float levelDbfs = -12) {
        for (auto [port, value] :
             {std::pair{2u, 440.0f}, {4u, 440.0f}, {6u, note}, {7u, deviation}, {8u, levelDbfs}})
            send(port, value);
    }
    // Idles as a host does for a few display frames, so every pending redraw has happened.
    void settle() {
        auto idle = static_cast<const LV2UI_Idle_Interface*>(
            mDescriptor->extension_data(LV2_UI__idleInterface));
        for (int frame = 0; frame < 6; ++frame) {
            XSync(mDisplay, False);
            idle->idle(mUi);
            ::usleep(20000);
        }
    }
    XWindowAttributes attributes() {
        XWindowAttributes a;
        XGetWindowAttributes(mDisplay, mWindow, &a);
        return a;
    }
    // The UI window's pixels as 0xRRGGBB, row by row.
    std::vector<unsigned long> pixels() {
        const XWindowAttributes a = attributes();
        XImage* image = XGetImage(mDisplay, mWindow, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
        std::vector<unsigned long> out;
        for (int y = 0; y < a.height; ++y)
            for (int x = 0; x < a.width; ++x) out.push_back(XGetPixel(image, x, y) & 0xffffff);
        XDestroyImage(image);
        return out;
    }
    static double brightness(unsigned long rgb) {
        return ((rgb >> 16 & 0xff) + (rgb >> 8 & 0xff) + (rgb & 0xff)) / 765.0;
    }
    // The brightest pixel in `r`: the white needle, or white text, where they are drawn.
    double peakBrightness(const NSRect& r) {
        const auto image = pixels();
        const int width = attributes().width;
        double peak = 0;
        for (int y = int(r.origin.y); y < int(r.origin.y + r.size.height); ++y)
            for (int x = int(r.origin.x); x < int(r.origin.x + r.size.width); ++x)
                peak = std::max(peak, brightness(image[y * width + x]));
        return peak;
    }
    // A point inside `control` as the panel lays it out in the window now.
    std::pair<int, int> pointOf(PanelControl control) {
        const XWindowAttributes a = attributes();
        for (int y = 0; y < a.height; ++y)
            for (int x = 0; x < a.width; ++x)
                if (TunerPanel::controlAt(x, y, a.width, a.height) == control)
                    return {x + 3, y + 3};
        return {-1, -1};
    }

    static inline marvex::test::VirtualDisplay* sServer = nullptr;
    static inline void* sModule = nullptr;
    const LV2UI_Descriptor* mDescriptor = nullptr;
    Display* mDisplay = nullptr;
    Window mParent = 0;
    Window mWindow = 0;
    LV2UI_Handle mUi = nullptr;
    std::pair<int, int> mAnnounced{0, 0};
    std::vector<std::pair<uint32_t, float>> mWrites;
};

TEST_F(TunerUiTest, NeedleStandsWhereTheDeviationPutsIt) {
    instantiate();
    ASSERT_NE(mUi, nullptr);
    EXPECT_EQ(mAnnounced, (std::pair{440, 150}));
    // The white needle runs from (104, 2) to its tip (104 + dx, 83 - drop) in view points, y up;
    // 40 points above the pivot it crosses at 104 + dx * 38 / (81 - drop).
    struct Case {
        float deviation;
        double crossing;
    };
    for (const Case c :
         {Case{-1.0f, 104 - 58 * 38 / 51.0}, Case{0.0f, 104}, Case{0.5f, 104 + 29 * 38 / 74.0}}) {
        sound(48, c.deviation);
        settle();
        const auto image = pixels();
        const NSRect r =
            TunerPanel::needleRect(needleSize(), attributes().width, attributes().height);
        const double scale = r.size.height / needleSize().height;
        const int row = int(r.origin.y + (needleSize().height - 40) * scale);
        int brightest = 0;
        for (int x = int(r.origin.x + 30 * scale); x < int(r.origin.x + 182 * scale); ++x)
            if (brightness(image[row * attributes().width + x]) >
                brightness(image[row * attributes().width + brightest]))
                brightest = x;
        EXPECT_NEAR(brightest, r.origin.x + c.crossing * scale, 2.0) << "deviation " << c.deviation;
    }
}

TEST_F(TunerUiTest, NoteTextFollowsTheNoteAndSilenceDims) {
    instantiate();
    const NSRect readout = NSMakeRect(236, 10, 200, 100),
                 needle = TunerPanel::needleRect(needleSize(), 440, 150);
    sound(48, 0);  // A4
    settle();
    const auto a4 = pixels();
    EXPECT_GT(peakBrightness(needle), 0.95);
    sound(55, 0);  // E5
    settle();
    EXPECT_NE(pixels(), a4);
    EXPECT_GT(peakBrightness(readout), 0.9);
    sound(55, 0, -90);
    settle();
    EXPECT_LT(peakBrightness(needle), 0.6);
}

TEST_F(TunerUiTest, ControlsWriteTheInputPorts) {
    struct Case {
        PanelControl control;
        uint32_t port;
        float expected;
    };
    // The host says the reference is 450 Hz and Precision 3; each control steps from there.
    for (const Case c :
         {Case{PanelControl::PitchUp, 0, 451}, Case{PanelControl::PitchDown, 0, 449},
          Case{PanelControl::PrecisionUp, 1, 4}, Case{PanelControl::PrecisionDown, 1, 2}}) {
        instantiate();
        send(0, 450);
        send(1, 3);
        settle();
        const auto [x, y] = pointOf(c.control);
        XEvent press{};
        press.xbutton = XButtonEvent{
            ButtonPress, 0, True, mDisplay, mWindow, DefaultRootWindow(mDisplay), 0, 0, x, y,
            0,           0, 0,    Button1,  True};
        XSendEvent(mDisplay, mWindow, False, ButtonPressMask, &press);
        settle();
        ASSERT_EQ(mWrites.size(), 1u);
        EXPECT_EQ(mWrites[0], (std::pair{c.port, c.expected}));
        mWrites.clear();
        destroy();
    }
}

TEST_F(TunerUiTest, ResizingKeepsTheDrawingInside) {
    instantiate();
    sound(48, 1);
    for (auto [width, height] : {std::pair{300, 120}, {800, 200}, {200, 400}}) {
        XResizeWindow(mDisplay, mParent, width, height);
        settle();
        ASSERT_EQ(attributes().width, width);
        ASSERT_EQ(attributes().height, height);
        // The frame is plain background: nothing runs over the edges.
        const auto image = pixels();
        for (int x = 0; x < width; ++x) {
            EXPECT_EQ(image[x], image[0]);
            EXPECT_EQ(image[(height - 1) * width + x], image[0]);
        }
        EXPECT_GT(peakBrightness(TunerPanel::needleRect(needleSize(), width, height)), 0.8);
    }
}

TEST_F(TunerUiTest, CleanupReleasesTheWindowAndTheConnection) {
    const int before = openDescriptors();
    instantiate();
    settle();
    destroy();
    Window root, parent, *children = nullptr;
    unsigned count = 1;
    XQueryTree(mDisplay, mParent, &root, &parent, &children, &count);
    XFree(children);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(TunerUiTest, RefusesAHostWithoutAParentWindow) {
    instantiate(false);
    EXPECT_EQ(mUi, nullptr);
}

}  // namespace
