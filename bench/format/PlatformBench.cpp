#include <benchmark/benchmark.h>

#include <string>

#include "format/AudioUnitCalls.h"
#include "format/CFDictionary.h"
#include "format/CFNumber.h"
#include "format/CFString.h"
#include "format/ComponentServices.h"
#include "format/PropertyListFile.h"

namespace {

ComponentResult NullEntry(ComponentParameters* params, void* storage) {
    benchmark::DoNotOptimize(params->params[0]);
    benchmark::DoNotOptimize(storage);
    return noErr;
}

// One render through the selector block, against an entry that does nothing: the overhead a
// host pays over calling the fast render path directly.
void BM_SelectorRender(benchmark::State& state) {
    ComponentDescription d{0x61756678, 0x62656E63, 0, 0, 0};
    Component c = RegisterComponentEntry(&d, NullEntry, nullptr, 0);
    ComponentInstance unit = nullptr;
    OpenAComponent(c, &unit);
    AudioTimeStamp ts{};
    AudioBufferList list{};
    AudioUnitRenderActionFlags flags = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(AudioUnitRender(unit, &flags, &ts, 0, 512, &list));
    CloseComponent(unit);
    UnregisterComponent(c);
}
BENCHMARK(BM_SelectorRender);

CFMutableDictionaryRef ElementNames(int count) {
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    for (int i = 0; i < count; ++i) {
        CFStringRef k =
            CFStringCreateWithCString(nullptr, std::to_string(i).c_str(), kCFStringEncodingASCII);
        CFNumberRef v = CFNumberCreate(nullptr, kCFNumberSInt32Type, &i);
        CFDictionarySetValue(dict, k, v);
        CFRelease(k);
        CFRelease(v);
    }
    return dict;
}

// A lookup with a key made fresh from text, as saved state is read back.
void BM_DictionaryLookupByText(benchmark::State& state) {
    CFMutableDictionaryRef dict = ElementNames(int(state.range(0)));
    CFStringRef key = CFStringCreateWithCString(nullptr, "7", kCFStringEncodingASCII);
    for (auto _ : state) benchmark::DoNotOptimize(CFDictionaryGetValue(dict, key));
    CFRelease(key);
    CFRelease(dict);
}
BENCHMARK(BM_DictionaryLookupByText)->Arg(8)->Arg(4096);

void BM_PropertyListParse(benchmark::State& state) {
    CFMutableDictionaryRef dict = ElementNames(int(state.range(0)));
    std::string xml;
    marvex::PropertyListToXML(dict, xml, nullptr);
    CFRelease(dict);
    for (auto _ : state) {
        CFPropertyListRef v = marvex::PropertyListFromBytes(xml.data(), xml.size(), nullptr);
        benchmark::DoNotOptimize(v);
        CFRelease(v);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(xml.size()));
}
BENCHMARK(BM_PropertyListParse)->Arg(8)->Arg(512);

}  // namespace

BENCHMARK_MAIN();
