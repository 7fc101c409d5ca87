// The plug-ins as hosts see them: loaded through lilv from build/marvex.lv2, instantiated and run
// on the test host's buffers.
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <lv2/state/state.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "format/PropertyListFile.h"
#include "host/HostedUnit.h"
#include "lv2/PortLayout.h"
#include "tests/lv2/Lv2TestHost.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/LockCounter.h"

using namespace marvex;
using namespace marvex::lv2;
using namespace marvex::test;

namespace {

class Lv2Plugin : public ::testing::Test {
protected:
    // Only the build tree's bundle, nothing from LV2_PATH.
    static void SetUpTestSuite() {
        world = lilv_world_new();
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, MARVEX_LV2_BUNDLE "/");
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
    }
    static void TearDownTestSuite() {
        lilv_world_free(world);
        // Cairo and fontconfig keep what the inline display's text looked up for the process's
        // life; let go of it so that LeakSanitizer sees only what the plug-in kept.
        cairo_debug_reset_static_data();
        FcFini();
    }

    static const LilvPlugin* plugin(const char* uri) {
        LilvNode* node = lilv_new_uri(world, uri);
        const LilvPlugin* found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node);
        lilv_node_free(node);
        return found;
    }
    static std::unique_ptr<Lv2Instance> open(const char* uri, double rate, bool worker = true) {
        return std::make_unique<Lv2Instance>(plugin(uri), rate, worker);
    }
    static inline LilvWorld* world = nullptr;
};

// The state as the plug-in stores it (one value) and takes it back, through its state interface.
struct SavedValue {
    std::string bytes;
    LV2_URID type = 0;

    static LV2_State_Status store(LV2_State_Handle self, uint32_t, const void* value, size_t size,
                                  uint32_t type, uint32_t) {
        *static_cast<SavedValue*>(self) = {std::string(static_cast<const char*>(value), size),
                                           type};
        return LV2_STATE_SUCCESS;
    }
    static const void* retrieve(LV2_State_Handle self, uint32_t, size_t* size, uint32_t* type,
                                uint32_t* flags) {
        const auto* saved = static_cast<const SavedValue*>(self);
        *size = saved->bytes.size();
        *type = saved->type;
        *flags = LV2_STATE_IS_POD;
        return saved->bytes.data();
    }
};

const LV2_State_Interface& state(Lv2Instance& tuner) {
    return *static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(tuner.instance(), LV2_STATE__interface));
}

SavedValue saveState(Lv2Instance& tuner) {
    SavedValue saved;
    state(tuner).save(lilv_instance_get_handle(tuner.instance()), &SavedValue::store, &saved, 0,
                      nullptr);
    return saved;
}

LV2_State_Status restoreState(Lv2Instance& tuner, SavedValue value) {
    return state(tuner).restore(lilv_instance_get_handle(tuner.instance()), &SavedValue::retrieve,
                                &value, 0, nullptr);
}

}  // namespace

// The generated TTL against the unit's own table, read from the built bundle.
TEST_F(Lv2Plugin, DeclaresThePortsOfTheUnitsParameterTable) {
    const std::vector<ParameterDescription> table =
        HostedUnit::openFromBundle(MARVEX_BUNDLE).parameterTable();
    for (const PluginKind& kind : kPluginKinds) {
        SCOPED_TRACE(kind.uri);
        const LilvPlugin* p = plugin(kind.uri);
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(lilv_plugin_get_num_ports(p), kind.portCount());
        std::vector<float> min(kind.portCount()), max(kind.portCount()), def(kind.portCount());
        lilv_plugin_get_port_ranges_float(p, min.data(), max.data(), def.data());
        for (const ControlPort& port : kControlPorts) {
            if (!port.parameter) continue;
            const ParameterDescription& d = table.at(*port.parameter);
            EXPECT_EQ(std::tuple(min[port.index], max[port.index], def[port.index]),
                      std::tuple(d.minValue, d.maxValue, d.defaultValue))
                << port.symbol;
        }
    }
}

// An A#4 sine (not the outputs' defaults, A4), mono in short blocks, and on the stereo plug-in's
// right channel alone in place in one block far longer than the plug-in's own (cut into slices;
// the tone starts after the first, so slices analysing the wrong samples find nothing): the
// tuner finds it within 0.1 Hz and the audio comes out as it went in.
TEST_F(Lv2Plugin, TunesASinePassingTheAudioThrough) {
    for (auto [uri, block, inPlace] :
         {std::tuple{kMonoUri, 37u, false}, {kStereoUri, 22050u, true}}) {
        SCOPED_TRACE(::testing::Message() << uri << ", blocks of " << block);
        const double rate = 44100.0;
        const double aSharp4 = 440.0 * std::pow(2.0, 1.0 / 12.0);
        std::vector<std::vector<float>> in = {sine(aSharp4, rate, 22050)};
        auto tuner = open(uri, rate);
        ASSERT_TRUE(tuner->instance()) << tuner->log();
        if (tuner->channels() == 2) {
            std::fill_n(in[0].begin(), 4096, 0.0f);
            in.insert(in.begin(), std::vector<float>(22050, 0.0f));
        }
        tuner->connectAudio(block, inPlace);
        tuner->activate();
        EXPECT_TRUE(tuner->process(in, block) == in);
        EXPECT_EQ(tuner->control(kPortNote), 49.0f);
        EXPECT_NEAR(tuner->control(kPortFrequency), aSharp4, 0.1f);
        // Amplitude 0.5: -9.03 dBFS, 3 dB less shared with a silent channel.
        if (tuner->channels() == 2) {
            EXPECT_NEAR(tuner->control(kPortLevel), -12.04f, 1.0f);
        }
    }
}

// Without a worker, a new reference pitch moves the note's centre at the next activation.
TEST_F(Lv2Plugin, WithoutAWorkerANewReferenceWaitsForTheNextActivation) {
    const double rate = 48000.0;
    const std::vector<float> tone = sine(442.0, rate, 24000);
    auto tuner = open(kMonoUri, rate, false);
    ASSERT_TRUE(tuner->instance()) << tuner->log();
    tuner->activate();
    tuner->control(kPortPitch) = 442.0f;
    tuner->process({tone}, 512);
    EXPECT_NEAR(tuner->control(kPortCentral), 440.0f, 0.01f);
    lilv_instance_deactivate(tuner->instance());
    tuner->activate();
    tuner->process({tone}, 512);
    EXPECT_NEAR(tuner->control(kPortCentral), 442.0f, 0.01f);
}

// Once running, run() allocates nothing and takes no lock, also while settings change and the
// unit the worker prepared is taken up. The new reference moves the note's centre at once; the
// worker, not run(), releases the unit it replaced; a pitch that is no number asks for nothing.
TEST_F(Lv2Plugin, RunAllocatesNothingAndTakesNoLock) {
    const double rate = 48000.0;
    std::unique_ptr<Lv2Instance> tuner;
    {
        test::CountAllocations a;
        test::CountLocks l;
        tuner = open(kStereoUri, rate);
        ASSERT_GT(a.count(), 0u) << "the counter must see the unit's allocations";
        ASSERT_GT(l.count(), 0u) << "the counter must see locks taken in the shared libraries";
    }
    ASSERT_TRUE(tuner->instance()) << tuner->log();
    const std::vector<float> tone = sine(440.0, rate, 24000);
    tuner->connectAudio(6000, false);
    tuner->activate();
    tuner->process({tone, tone}, 6000);
    std::size_t allocations = 0, locks = 0;
    auto countedRun = [&](std::uint32_t frames) {
        test::CountAllocations a;
        test::CountLocks l;
        tuner->run(frames);
        allocations += a.count();
        locks += l.count();
    };
    countedRun(6000);  // longer than the plug-in's blocks: cut into slices
    tuner->control(kPortPrecision) = 4.0f;
    tuner->control(kPortPitch) = 445.0f;
    countedRun(512);  // schedules the new unit
    EXPECT_EQ(tuner->runWorker(), 1);
    countedRun(37);  // takes it up
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(locks, 0u);
    tuner->process({tone, tone}, 512);
    EXPECT_NEAR(tuner->control(kPortCentral), 445.0f, 0.01f);
    EXPECT_EQ(tuner->runWorker(), 1);
    tuner->control(kPortPitch) = NAN;
    tuner->process({tone, tone}, 512);
    EXPECT_EQ(tuner->runWorker(), 0);
}

// A state saved by one instance restores into another:
// the reference pitch and Precision come back, and saving again gives the same state. Damaged
// or foreign states are refused with a logged reason; the instance keeps its settings.
TEST_F(Lv2Plugin, StateRestoresIntoAnotherInstanceAndDamagedStateIsRefused) {
    const double rate = 48000.0;
    auto first = open(kMonoUri, rate);
    first->control(kPortPitch) = 445.0f;
    first->activate();
    // Moved while running, between steps: saved all the same, at the nearest step.
    first->control(kPortPrecision) = 3.6f;
    first->process({sine(445.0, rate, 4096)}, 512);
    const SavedValue good = saveState(*first);
    auto second = open(kMonoUri, rate);
    ASSERT_EQ(restoreState(*second, good), LV2_STATE_SUCCESS);
    second->activate();
    second->process({sine(445.0, rate, 24000)}, 512);
    EXPECT_NEAR(second->control(kPortCentral), 445.0f, 0.01f);
    EXPECT_EQ(saveState(*second).bytes, good.bytes);
    CFPropertyListRef saved =
        PropertyListFromBytes(good.bytes.data(), good.bytes.size() - 1, nullptr);
    HostedUnit probe = HostedUnit::openFromBundle(MARVEX_BUNDLE);
    probe.restoreClassInfo(saved);
    CFRelease(saved);
    EXPECT_EQ(probe.parameter(kTunerPrecision), 4.0f);

    // Not text; not a property list.
    for (const auto& [value, logged] :
         {std::pair{SavedValue{good.bytes, good.type + 100}, "wrong type"},
          {SavedValue{std::string("<plist>garbage", 15), good.type}, "damaged"}}) {
        auto tuner = open(kMonoUri, rate);
        EXPECT_NE(restoreState(*tuner, value), LV2_STATE_SUCCESS);
        EXPECT_NE(tuner->log().find(logged), std::string::npos) << tuner->log();
        EXPECT_EQ(saveState(*tuner).bytes, saveState(*open(kMonoUri, rate)).bytes);
    }
}

// The picture changes with the reading, and the host is asked to redraw it.
TEST_F(Lv2Plugin, InlineDisplayDrawsTheNeedleAtTheReading) {
    const double rate = 48000.0;
    auto tuner = open(kMonoUri, rate);
    tuner->activate();
    const auto* display = static_cast<const LV2_Inline_Display_Interface*>(
        lilv_instance_get_extension_data(tuner->instance(), MARVEX_INLINE_DISPLAY_INTERFACE));
    ASSERT_NE(display, nullptr);
    // At most 100 pixels high, as wide as asked; nothing for no width.
    auto picture = [&](int width) {
        const LV2_Inline_Display_Image_Surface* image =
            display->render(lilv_instance_get_handle(tuner->instance()), width, 100);
        if (image == nullptr) return std::string();
        EXPECT_EQ(image->width, width);
        EXPECT_LE(image->height, 100);
        return std::string(reinterpret_cast<const char*>(image->data),
                           static_cast<std::size_t>(image->stride) * image->height);
    };
    EXPECT_TRUE(picture(0).empty());
    std::string before = picture(160);
    for (double hz : {440.0, 448.0}) {
        const int requests = tuner->drawRequests();
        tuner->process({sine(hz, rate, 24000)}, 512);
        EXPECT_GT(tuner->drawRequests(), requests);
        EXPECT_NE(picture(160), before) << hz;
        before = picture(160);
    }
}

TEST_F(Lv2Plugin, InstantiationRefusesAnUnusableRateWithAReason) {
    test::Lv2Instance tuner(plugin(kMonoUri), std::nan(""));
    EXPECT_EQ(tuner.instance(), nullptr);
    EXPECT_NE(tuner.log().find("sample rate"), std::string::npos) << tuner.log();
}
