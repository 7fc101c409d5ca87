// What the LV2 wrapper costs, and how Marvex compares with a peer tuner, on the same audio: a
// 440 Hz sine at 48 kHz in 512-frame mono blocks.
//   BM_Lv2Run/marvex   run() of urn:marvex:tuner:mono, loaded through lilv from the build tree
//   BM_HostPath        the same blocks through marvex's own host path (TunerSession::renderBlock,
//                      what `marvex analyze` does per block): the wrapper's overhead is the
//                      difference
//   BM_Lv2Run/tuna     run() of x42 tuna (Debian's x42-plugins), skipped when not installed
// Times are per block.
#include <benchmark/benchmark.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/TunerSession.h"

using namespace marvex;

namespace {

constexpr double kRateHz = 48000.0;
constexpr std::uint32_t kBlock = 512;

// One second of the sine and a block's worth more, so any block can be read from it whole.
const std::vector<float>& sineSecond() {
    static const std::vector<float> samples = [] {
        std::vector<float> s(static_cast<std::size_t>(kRateHz) + kBlock);
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] =
                0.5f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 440.0 * i / kRateHz));
        return s;
    }();
    return samples;
}

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
    static std::unordered_map<std::string, LV2_URID> urids;
    return urids.emplace(uri, static_cast<LV2_URID>(urids.size() + 1)).first->second;
}

// Any plug-in with one audio input, its control ports at their defaults, atom ports given
// empty sequences: enough for an analyser to run as in a host.
class GenericInstance {
public:
    GenericInstance(LilvWorld* world, const LilvPlugin* plugin) {
        mFeatures = {{LV2_URID__map, &mMap}};
        const LV2_Feature* features[] = {&mFeatures[0], nullptr};
        mInstance = lilv_plugin_instantiate(plugin, kRateHz, features);
        if (mInstance == nullptr) return;
        const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
        std::vector<float> defaults(ports, 0.0f);
        lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
        LilvNode* audio = lilv_new_uri(world, LV2_CORE__AudioPort);
        LilvNode* control = lilv_new_uri(world, LV2_CORE__ControlPort);
        LilvNode* atom = lilv_new_uri(world, LV2_ATOM__AtomPort);
        LilvNode* input = lilv_new_uri(world, LV2_CORE__InputPort);
        mControls.resize(ports);
        mAtoms.resize(ports);
        mAudio.resize(ports);
        for (std::uint32_t p = 0; p < ports; ++p) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
            const bool isInput = lilv_port_is_a(plugin, port, input);
            if (lilv_port_is_a(plugin, port, control)) {
                mControls[p] = std::isnan(defaults[p]) ? 0.0f : defaults[p];
                lilv_instance_connect_port(mInstance, p, &mControls[p]);
            } else if (lilv_port_is_a(plugin, port, audio)) {
                mAudio[p].assign(kBlock, 0.0f);
                lilv_instance_connect_port(mInstance, p, mAudio[p].data());
                if (isInput && !mAudioIn) mAudioIn = p;
            } else if (lilv_port_is_a(plugin, port, atom)) {
                mAtoms[p].assign(4096, 0);
                lilv_instance_connect_port(mInstance, p, mAtoms[p].data());
                if (isInput)
                    mAtomInputs.push_back(p);
                else
                    mAtomOutputs.push_back(p);
            }
        }
        for (LilvNode* n : {audio, control, atom, input}) lilv_node_free(n);
        lilv_instance_activate(mInstance);
    }
    ~GenericInstance() {
        if (mInstance == nullptr) return;
        lilv_instance_deactivate(mInstance);
        lilv_instance_free(mInstance);
    }
    explicit operator bool() const { return mInstance != nullptr && mAudioIn; }

    void run(const float* block) {
        // The input port reads the block where it lies, as the host path does.
        lilv_instance_connect_port(mInstance, *mAudioIn, const_cast<float*>(block));
        // Hosts hand an empty input sequence and the output's capacity before every run.
        for (std::uint32_t p : mAtomInputs) {
            auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(mAtoms[p].data());
            seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
            seq->atom.type = mapUri(nullptr, LV2_ATOM__Sequence);
        }
        for (std::uint32_t p : mAtomOutputs) {
            auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(mAtoms[p].data());
            seq->atom.size = static_cast<uint32_t>(mAtoms[p].size() - sizeof(LV2_Atom));
            seq->atom.type = mapUri(nullptr, LV2_ATOM__Chunk);
        }
        lilv_instance_run(mInstance, kBlock);
    }

private:
    LV2_URID_Map mMap{nullptr, &mapUri};
    std::vector<LV2_Feature> mFeatures;
    LilvInstance* mInstance = nullptr;
    std::vector<float> mControls;
    std::vector<std::vector<std::uint8_t>> mAtoms;
    std::vector<std::vector<float>> mAudio;
    std::vector<std::uint32_t> mAtomInputs, mAtomOutputs;
    std::optional<std::uint32_t> mAudioIn;
};

void runBlocks(benchmark::State& state, const std::function<void(const float*)>& runBlock) {
    const std::vector<float>& sine = sineSecond();
    std::size_t position = 0;
    for (auto _ : state) {
        runBlock(sine.data() + position);
        position = (position + kBlock) % static_cast<std::size_t>(kRateHz);
    }
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBlock / kRateHz, benchmark::Counter::kIsRate);
}

// `bundle` empty: every bundle installed on the system (LV2_PATH or the default path).
void BM_Lv2Run(benchmark::State& state, const std::string& bundle, const char* uri) {
    LilvWorld* world = lilv_world_new();
    if (bundle.empty()) {
        lilv_world_load_all(world);
    } else {
        LilvNode* node = lilv_new_uri(world, ("file://" + bundle + "/").c_str());
        lilv_world_load_bundle(world, node);
        lilv_node_free(node);
    }
    LilvNode* uriNode = lilv_new_uri(world, uri);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uriNode);
    lilv_node_free(uriNode);
    if (plugin == nullptr) {
        state.SkipWithError((std::string(uri) + " is not installed").c_str());
    } else if (auto instance = std::make_unique<GenericInstance>(world, plugin); !*instance) {
        state.SkipWithError((std::string(uri) + " did not instantiate").c_str());
    } else {
        runBlocks(state, [&](const float* block) { instance->run(block); });
    }
    lilv_world_free(world);
}

void BM_HostPath(benchmark::State& state) {
    TunerSettings settings;
    settings.bundleDirectory = MARVEX_BUNDLE;
    settings.blockFrames = kBlock;
    TunerSession session(settings, kRateHz, 1);
    BlockRecord record;
    runBlocks(state, [&](const float* block) {
        const float* input[] = {block};
        session.renderBlock(input, kBlock, record);
    });
}

}  // namespace

BENCHMARK_CAPTURE(BM_Lv2Run, marvex, std::string(MARVEX_LV2_BUNDLE), "urn:marvex:tuner:mono");
BENCHMARK(BM_HostPath);
BENCHMARK_CAPTURE(BM_Lv2Run, tuna, std::string(), "http://gareus.org/oss/lv2/tuna#one");

BENCHMARK_MAIN();
