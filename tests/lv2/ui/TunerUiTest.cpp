// The UI as a host drives it: instantiated into a parent window on a private X server, fed port
// events, idled, and its pixels read back.

#include <gtest/gtest.h>
// Xlib after GoogleTest: its macros (None, Bool) would break GoogleTest's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <lv2/ui/ui.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/VirtualDisplay.h"
#include "view/window/TunerPanel.h"

namespace {

using marvex::PanelControl;

class TunerUiTest : public testing::Test {
protected:
    static void SetUpTestSuite() { sServer = new marvex::test::VirtualDisplay; }
    static void TearDownTestSuite() {
        delete sServer;
        // Cairo and fontconfig keep the fonts and the configuration they looked up for the
        // process's life; let go of them so that LeakSanitizer sees only what the UI kept.
        cairo_debug_reset_static_data();
        FcFini();
    }
    void SetUp() override {
        mModule = ::dlopen(MARVEX_UI_MODULE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(mModule, nullptr) << ::dlerror();
        mDescriptor =
            reinterpret_cast<LV2UI_DescriptorFunction>(::dlsym(mModule, "lv2ui_descriptor"))(0);
        ASSERT_NE(mDisplay = XOpenDisplay(nullptr), nullptr);
        mParent =
            XCreateSimpleWindow(mDisplay, DefaultRootWindow(mDisplay), 0, 0, 440, 150, 0, 0, 0);
        XMapWindow(mDisplay, mParent);
        XSync(mDisplay, False);
    }
    void TearDown() override {
        destroy();
        if (mDisplay != nullptr) XCloseDisplay(mDisplay);
        if (mModule != nullptr) ::dlclose(mModule);
    }

    void instantiate(bool offerParent = true) {
        LV2_Feature parent{LV2_UI__parent, reinterpret_cast<void*>(mParent)};
        const LV2_Feature* features[] = {offerParent ? &parent : nullptr, nullptr};
        LV2UI_Widget widget = nullptr;
        auto write = [](LV2UI_Controller self, uint32_t port, uint32_t size, uint32_t format,
                        const void* value) {
            ASSERT_EQ(size, sizeof(float));
            ASSERT_EQ(format, 0u);
            static_cast<TunerUiTest*>(self)->mWrites.emplace_back(port, *(const float*)value);
        };
        mUi = mDescriptor->instantiate(mDescriptor, "urn:marvex:tuner:mono", MARVEX_LV2_BUNDLE "/",
                                       write, this, &widget, features);
        mWindow = reinterpret_cast<Window>(widget);
    }
    void destroy() {
        if (mUi != nullptr) mDescriptor->cleanup(mUi);
        mUi = nullptr;
    }
    void send(uint32_t port, float value) { mDescriptor->port_event(mUi, port, 4, 0, &value); }
    // Idles as a host does for a few display frames, so every pending redraw has happened, and
    // returns the window's pixels as read back from the server.
    std::string settledFrame() {
        auto idle = static_cast<const LV2UI_Idle_Interface*>(
            mDescriptor->extension_data(LV2_UI__idleInterface));
        for (int frame = 0; frame < 6; ++frame, ::usleep(20000)) {
            XSync(mDisplay, False);
            idle->idle(mUi);
        }
        XImage* image = XGetImage(mDisplay, mWindow, 0, 0, 440, 150, AllPlanes, ZPixmap);
        std::string pixels(image->data, std::size_t(image->bytes_per_line) * image->height);
        XDestroyImage(image);
        return pixels;
    }
    void click(PanelControl control) {
        XEvent press{};
        for (int y = 0; y < 150 && press.type == 0; ++y)
            for (int x = 0; x < 440 && press.type == 0; ++x)
                if (marvex::TunerPanel::controlAt(x, y, 440, 150) == control)
                    press.xbutton =
                        XButtonEvent{ButtonPress, 0,     True, mDisplay, mWindow, 0,       0,   0,
                                     x + 3,       y + 3, 0,    0,        0,       Button1, True};
        XSendEvent(mDisplay, mWindow, False, ButtonPressMask, &press);
    }

    static inline marvex::test::VirtualDisplay* sServer = nullptr;
    void* mModule = nullptr;
    const LV2UI_Descriptor* mDescriptor = nullptr;
    Display* mDisplay = nullptr;
    Window mParent = 0, mWindow = 0;
    LV2UI_Handle mUi = nullptr;
    std::vector<std::pair<uint32_t, float>> mWrites;
};

// Each output port the panel shows redraws it: the reading of A4 in tune, then of A#4, then
// sharp, then silence (where the needle stands at each reading is the view's own tests' matter).
TEST_F(TunerUiTest, EveryShownPortRedrawsThePanel) {
    instantiate();
    ASSERT_NE(mUi, nullptr);
    for (auto [port, value] :
         {std::pair{2u, 440.0f}, {4u, 440.0f}, {6u, 48.0f}, {7u, 0.0f}, {8u, -12.0f}})
        send(port, value);
    std::string before = settledFrame();
    for (auto [port, value] : {std::pair{6u, 49.0f}, {7u, 0.5f}, {8u, -90.0f}}) {
        send(port, value);
        const std::string after = settledFrame();
        EXPECT_NE(after, before) << "port " << port;
        before = after;
    }
}

// Each control writes its input port a step from what the host said; without a parent window
// the UI is refused.
TEST_F(TunerUiTest, ControlsWriteTheInputPorts) {
    instantiate();
    send(0, 450);
    send(1, 3);
    settledFrame();
    for (PanelControl control : {PanelControl::PitchDown, PanelControl::PrecisionUp}) {
        click(control);
        settledFrame();
    }
    EXPECT_EQ(mWrites, (std::vector<std::pair<uint32_t, float>>{{0u, 449.0f}, {1u, 4.0f}}));
    destroy();
    instantiate(false);
    EXPECT_EQ(mUi, nullptr);
}

}  // namespace
