// The plug-ins as hosts see them: loaded through lilv from build/marvex.lv2, instantiated and run
// on the test host's buffers.
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/state/state.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <tuple>

#include "format/PropertyListFile.h"
#include "host/HostedUnit.h"
#include "lv2/PortLayout.h"
#include "tests/lv2/Lv2TestHost.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/LockCounter.h"

using namespace marvex;
using namespace marvex::lv2;
using marvex::test::HostOptions;
using marvex::test::Lv2Instance;
using marvex::test::sine;

namespace {

class Lv2Plugin : public ::testing::Test {
protected:
    static void SetUpTestSuite() { world = new test::Lv2World(MARVEX_LV2_BUNDLE); }
    static void TearDownTestSuite() {
        delete world;
        // Cairo and fontconfig keep what the inline display's text looked up for the process's
        // life; let go of it so that LeakSanitizer sees only what the plug-in kept.
        cairo_debug_reset_static_data();
        FcFini();
    }

    static const LilvPlugin* plugin(const char* uri) { return world->plugin(uri); }
    static std::unique_ptr<Lv2Instance> open(const char* uri, double rate,
                                             const HostOptions& options = {}) {
        return std::make_unique<Lv2Instance>(plugin(uri), rate, options);
    }
    static test::Lv2World* world;
};
test::Lv2World* Lv2Plugin::world = nullptr;

// What the tuner reports after a signal: note, frequency, deviation, central frequency.
struct Reading {
    float note, frequency, deviation, central;
};

Reading reading(Lv2Instance& tuner) {
    return {tuner.control(kPortNote), tuner.control(kPortFrequency), tuner.control(kPortDeviation),
            tuner.control(kPortCentral)};
}

}  // namespace

// The generated TTL against the unit's own table, read from the built bundle.
TEST_F(Lv2Plugin, DeclaresThePortsOfTheUnitsParameterTable) {
    HostedUnit unit = HostedUnit::openFromBundle(MARVEX_BUNDLE);
    std::map<AudioUnitParameterID, ParameterDescription> table;
    for (const ParameterDescription& p : unit.parameterTable()) table[p.id] = p;
    for (const PluginKind& kind : kPluginKinds) {
        SCOPED_TRACE(kind.uri);
        const LilvPlugin* p = plugin(kind.uri);
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(lilv_plugin_get_num_ports(p), kind.portCount());
        std::vector<float> min(kind.portCount()), max(kind.portCount()), def(kind.portCount());
        lilv_plugin_get_port_ranges_float(p, min.data(), max.data(), def.data());
        for (const ControlPort& port : kControlPorts) {
            if (!port.parameter) continue;
            SCOPED_TRACE(port.symbol);
            const ParameterDescription& d = table.at(*port.parameter);
            LilvNode* name = lilv_port_get_name(p, lilv_plugin_get_port_by_index(p, port.index));
            EXPECT_EQ(lilv_node_as_string(name), d.name);
            lilv_node_free(name);
            EXPECT_EQ(std::tuple(min[port.index], max[port.index], def[port.index]),
                      std::tuple(d.minValue, d.maxValue, d.defaultValue));
        }
    }
}

// A 440 Hz sine at each rate, in blocks of each length, with separate buffers and in place: the
// tuner finds A4 within 0.1 Hz and the audio comes out as it went in.
TEST_F(Lv2Plugin, TunesASineAtEveryRateAndBlockLengthPassingTheAudioThrough) {
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        const std::vector<float> tone = sine(440.0, rate, static_cast<std::size_t>(rate / 2));
        for (std::uint32_t block : {1u, 37u, 64u, 512u, 4096u}) {
            for (bool inPlace : {false, true}) {
                SCOPED_TRACE(::testing::Message() << rate << " Hz, blocks of " << block
                                                  << (inPlace ? ", in place" : ""));
                // Announced shorter than the longer blocks, which are then cut into slices.
                auto tuner = open(kMonoUri, rate, {.maxBlockLength = inPlace ? 256u : 0u});
                ASSERT_TRUE(*tuner) << tuner->log();
                tuner->connectAudio(block, inPlace);
                tuner->activate();
                const auto out = tuner->process({tone}, block);
                EXPECT_TRUE(out[0] == tone);
                const Reading r = reading(*tuner);
                EXPECT_EQ(r.note, 48.0f);
                EXPECT_NEAR(r.frequency, 440.0f, 0.1f);
                EXPECT_NEAR(r.deviation, 0.0f, 0.01f);
                // Amplitude 0.5: -9.03 dBFS over whole periods; the last block holds a few.
                if (block >= 512) {
                    EXPECT_NEAR(tuner->control(kPortLevel), -9.03f, 1.0f);
                }
            }
        }
    }
}

TEST_F(Lv2Plugin, StereoReadsEachChannel) {
    const double rate = 48000.0;
    const std::vector<float> tone = sine(440.0, rate, 24000), silence(24000, 0.0f);
    for (int toned : {0, 1}) {
        SCOPED_TRACE(toned == 0 ? "left" : "right");
        auto tuner = open(kStereoUri, rate);
        ASSERT_TRUE(*tuner) << tuner->log();
        tuner->activate();
        const std::vector<std::vector<float>> in =
            toned == 0 ? std::vector{tone, silence} : std::vector{silence, tone};
        EXPECT_EQ(tuner->process(in, 512), in);
        EXPECT_EQ(reading(*tuner).note, 48.0f);
        EXPECT_NEAR(reading(*tuner).frequency, 440.0f, 0.1f);
    }
}

// A new reference pitch moves the note's centre: at once through the worker, at the next
// activation without one.
TEST_F(Lv2Plugin, AReferencePitchChangeTakesEffect) {
    const double rate = 48000.0;
    const std::vector<float> tone = sine(442.0, rate, 24000);
    for (bool worker : {true, false}) {
        SCOPED_TRACE(worker ? "with a worker" : "without a worker");
        auto tuner = open(kMonoUri, rate, {.worker = worker});
        ASSERT_TRUE(*tuner) << tuner->log();
        tuner->activate();
        tuner->process({tone}, 512);
        EXPECT_NEAR(reading(*tuner).central, 440.0f, 0.01f);
        tuner->control(kPortPitch) = 442.0f;
        tuner->process({tone}, 512);
        EXPECT_EQ(tuner->runWorker(), worker ? 1 : 0);
        if (!worker) {
            EXPECT_NEAR(reading(*tuner).central, 440.0f, 0.01f);
            tuner->deactivate();
            tuner->activate();
        }
        tuner->process({tone}, 512);
        EXPECT_NEAR(reading(*tuner).central, 442.0f, 0.01f);
        EXPECT_NEAR(reading(*tuner).deviation, 0.0f, 0.01f);
        // The unit it replaced is released by the worker, not by run(); a pitch that is no
        // number asks for nothing.
        if (worker) {
            EXPECT_EQ(tuner->runWorker(), 1);
            tuner->control(kPortPitch) = NAN;
            tuner->process({tone}, 512);
            EXPECT_EQ(tuner->runWorker(), 0);
        }
    }
}

// Once running, run() allocates nothing and takes no lock, also while settings change and a
// prepared unit is taken up.
TEST_F(Lv2Plugin, RunAllocatesNothingAndTakesNoLock) {
    const double rate = 48000.0;
    const std::vector<float> tone = sine(440.0, rate, 4096);
    for (const char* uri : {kMonoUri, kStereoUri}) {
        SCOPED_TRACE(uri);
        auto tuner = open(uri, rate, {.worker = true, .maxBlockLength = 256});
        ASSERT_TRUE(*tuner) << tuner->log();
        tuner->connectAudio(1024, false);
        tuner->activate();
        for (std::uint32_t c = 0; c < tuner->channels(); ++c)
            std::copy_n(tone.begin(), 1024, tuner->input(c));
        tuner->run(1024);
        std::size_t allocations = 0, locks = 0;
        auto countedRun = [&](std::uint32_t frames) {
            test::CountAllocations a;
            test::CountLocks l;
            tuner->run(frames);
            allocations += a.count();
            locks += l.count();
        };
        countedRun(1024);  // longer than announced: cut into blocks
        tuner->control(kPortPrecision) = 4.0f;
        tuner->control(kPortPitch) = 445.0f;
        countedRun(512);  // schedules the new unit
        EXPECT_EQ(tuner->runWorker(), 1);
        countedRun(1);  // takes it up
        countedRun(37);
        EXPECT_EQ(allocations, 0u);
        EXPECT_EQ(locks, 0u);
    }
}

namespace {

// The saved state as the plug-in stored it, through its state interface.
struct SavedValue {
    std::string bytes;
    LV2_URID type = 0;
};

const LV2_State_Interface* stateInterface(Lv2Instance& tuner) {
    return static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(tuner.instance(), LV2_STATE__interface));
}

SavedValue saveState(Lv2Instance& tuner) {
    SavedValue saved;
    auto store = [](LV2_State_Handle handle, uint32_t, const void* value, size_t size,
                    uint32_t type, uint32_t) {
        auto* s = static_cast<SavedValue*>(handle);
        s->bytes.assign(static_cast<const char*>(value), size);
        s->type = type;
        return LV2_STATE_SUCCESS;
    };
    stateInterface(tuner)->save(lilv_instance_get_handle(tuner.instance()), store, &saved, 0,
                                nullptr);
    return saved;
}

LV2_State_Status restoreState(Lv2Instance& tuner, const SavedValue& value) {
    auto retrieve = [](LV2_State_Handle handle, uint32_t, size_t* size, uint32_t* type,
                       uint32_t* flags) -> const void* {
        auto* v = static_cast<const SavedValue*>(handle);
        *size = v->bytes.size();
        *type = v->type;
        *flags = LV2_STATE_IS_POD;
        return v->bytes.data();
    };
    return stateInterface(tuner)->restore(lilv_instance_get_handle(tuner.instance()), retrieve,
                                          const_cast<SavedValue*>(&value), 0, nullptr);
}

}  // namespace

// A state saved by one instance, through lilv as hosts save sessions, restores into another:
// the reference pitch and Precision come back, and saving again gives the same state. Damaged
// or foreign states are refused with a logged reason; the instance keeps its settings.
TEST_F(Lv2Plugin, StateRestoresIntoAnotherInstanceAndDamagedStateIsRefused) {
    const double rate = 48000.0;
    auto first = open(kMonoUri, rate);
    first->control(kPortPitch) = 445.0f;
    first->activate();
    first->control(kPortPrecision) = 4.0f;  // moved while running: saved all the same
    first->process({sine(445.0, rate, 4096)}, 512);
    LilvState* state =
        lilv_state_new_from_instance(plugin(kMonoUri), first->instance(), first->map(), nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    ASSERT_NE(state, nullptr);
    auto second = open(kMonoUri, rate);
    lilv_state_restore(state, second->instance(), nullptr, nullptr, 0, second->features());
    lilv_state_free(state);
    second->activate();
    second->process({sine(445.0, rate, 24000)}, 512);
    EXPECT_NEAR(reading(*second).central, 445.0f, 0.01f);
    EXPECT_EQ(reading(*second).note, 48.0f);
    const SavedValue good = saveState(*first);
    EXPECT_EQ(saveState(*second).bytes, good.bytes);
    const auto savedPrecision = [](Lv2Instance& tuner) {
        const std::string bytes = saveState(tuner).bytes;
        CFPropertyListRef saved = PropertyListFromBytes(bytes.data(), bytes.size() - 1, nullptr);
        HostedUnit probe = HostedUnit::openFromBundle(MARVEX_BUNDLE);
        probe.restoreClassInfo(saved);
        CFRelease(saved);
        return probe.parameter(kTunerPrecision);
    };
    EXPECT_EQ(savedPrecision(*first), 4.0f);
    // A state whose Precision lies between steps restores at the nearest one.
    HostedUnit unit = HostedUnit::openFromBundle(MARVEX_BUNDLE);
    unit.setParameter(kTunerPrecision, 2.6f);
    CFPropertyListRef info = unit.copyClassInfo();
    std::string xml;
    ASSERT_TRUE(PropertyListToXML(info, xml, nullptr));
    CFRelease(info);
    ASSERT_EQ(restoreState(*second, {std::string(xml.c_str(), xml.size() + 1), good.type}),
              LV2_STATE_SUCCESS);
    EXPECT_EQ(savedPrecision(*second), 3.0f);

    const LV2_URID stringType = first->map()->map(first->map()->handle, LV2_ATOM__String);
    std::string foreign = good.bytes;
    foreign.replace(foreign.find("<integer>"), 9, "<integer>1");  // a code of another unit
    const struct Case {
        const char* what;
        SavedValue value;
        const char* logged;
    } cases[] = {
        {"not text", {good.bytes, stringType + 100}, "wrong type"},
        {"no terminating null", {good.bytes.substr(0, good.bytes.size() - 1), stringType}, "wrong"},
        {"not a property list", {std::string("<plist>garbage", 15), stringType}, "damaged"},
        {"another unit's dictionary", {foreign, stringType}, "refuses"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto tuner = open(kMonoUri, rate);
        tuner->activate();
        EXPECT_NE(restoreState(*tuner, c.value), LV2_STATE_SUCCESS);
        EXPECT_NE(tuner->log().find(c.logged), std::string::npos) << tuner->log();
        tuner->process({sine(440.0, rate, 24000)}, 512);
        EXPECT_NEAR(reading(*tuner).central, 440.0f, 0.01f);
        EXPECT_EQ(reading(*tuner).note, 48.0f);
    }
}

TEST_F(Lv2Plugin, InlineDisplayDrawsTheNeedleAtTheReading) {
    const double rate = 48000.0;
    auto tuner = open(kMonoUri, rate);
    tuner->activate();
    const LV2_Inline_Display_Interface* display = tuner->inlineDisplay();
    ASSERT_NE(display, nullptr);
    LV2_Handle handle = lilv_instance_get_handle(tuner->instance());
    auto picture = [&](std::uint32_t width, std::uint32_t maxHeight) {
        const LV2_Inline_Display_Image_Surface* image = display->render(handle, width, maxHeight);
        if (image == nullptr) return std::string();
        EXPECT_EQ(image->width, static_cast<int>(width));
        EXPECT_LE(image->height, static_cast<int>(maxHeight));
        EXPECT_GE(image->stride, image->width * 4);
        return std::string(reinterpret_cast<const char*>(image->data),
                           static_cast<std::size_t>(image->stride) * image->height);
    };
    EXPECT_FALSE(picture(24, 24).empty() || picture(300, 1000).empty());
    EXPECT_TRUE(picture(0, 100).empty() && picture(100, 0).empty());

    const std::string silent = picture(160, 100);
    tuner->process({sine(440.0, rate, 24000)}, 512);
    const std::string centred = picture(160, 100);
    const int requests = tuner->drawRequests();
    EXPECT_GT(requests, 0);
    tuner->process({sine(448.0, rate, 24000)}, 512);
    EXPECT_GT(tuner->drawRequests(), requests);
    const std::string sharp = picture(160, 100);
    EXPECT_NE(centred, silent);
    EXPECT_NE(sharp, centred);
}

TEST_F(Lv2Plugin, InstantiationRefusesUnusableRatesAndAMissingUnitWithAReason) {
    for (double rate : {0.0, -48000.0, std::nan("")}) {
        test::Lv2Instance tuner(plugin(kMonoUri), rate);
        EXPECT_FALSE(tuner) << rate;
        EXPECT_NE(tuner.log().find("sample rate"), std::string::npos) << tuner.log();
    }
    // The plug-in's bundle copied without the unit's bundle inside.
    namespace fs = std::filesystem;
    const fs::path copy = fs::path(::testing::TempDir()) / "without-unit.lv2";
    fs::remove_all(copy);
    fs::create_directories(copy);
    for (const auto& entry : fs::directory_iterator(MARVEX_LV2_BUNDLE))
        if (entry.path().filename() != "Marvex.bundle")
            fs::copy(entry.path(), copy / entry.path().filename());
    test::Lv2World elsewhere(copy.string());
    test::Lv2Instance tuner(elsewhere.plugin(kMonoUri), 48000.0);
    EXPECT_FALSE(tuner);
    EXPECT_NE(tuner.log().find("Marvex.bundle"), std::string::npos) << tuner.log();
    fs::remove_all(copy);
}
