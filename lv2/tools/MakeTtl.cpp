// Writes the plug-in bundle's manifest.ttl and marvex.ttl from the unit's own parameter table,
// opening the unit as any host does, so the ports can never disagree with the unit.
//   marvex-lv2-ttl UNIT_BUNDLE OUTPUT_DIR MODULE_FILE_NAME UI_MODULE_FILE_NAME
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/HostedUnit.h"
#include "host/LevelMeter.h"
#include "host/NoteName.h"
#include "lv2/PortLayout.h"

using namespace marvex;
using namespace marvex::lv2;

namespace {

const char* const kPrefixes =
    "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix opts:  <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
    "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix log:   <http://lv2plug.in/ns/ext/log#> .\n"
    "@prefix work:  <http://lv2plug.in/ns/ext/worker#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix idisp: <http://harrisonconsoles.com/lv2/inlinedisplay#> .\n"
    "@prefix ui:    <http://lv2plug.in/ns/extensions/ui#> .\n";

// Ring sizes by Precision step: what the labels of the enumeration say.
constexpr int kRingSizes[] = {16, 64, 128, 256, 512};

std::string number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    std::string s = text;
    if (s.find_first_of(".en") == std::string::npos) s += ".0";  // a decimal, not an integer
    return s;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// What each plug-in says of itself besides its ports; one statement per line.
std::vector<std::string> pluginStatements(const PluginKind& kind) {
    return {
        "a lv2:Plugin , lv2:AnalyserPlugin",
        "doap:name " + quoted(kind.name),
        "lv2:optionalFeature lv2:hardRTCapable , opts:options , urid:map , log:log , "
        "work:schedule , idisp:queue_draw",
        "opts:supportedOption bufsz:maxBlockLength , bufsz:nominalBlockLength",
        "lv2:extensionData state:interface , work:interface , idisp:interface",
        "ui:ui <" + std::string(kUiUri) + ">",
    };
}

std::string scalePoints(const std::vector<std::pair<int, std::string>>& points) {
    std::string out;
    for (std::size_t i = 0; i < points.size(); ++i) {
        out += std::string(i == 0 ? "        lv2:scalePoint " : " ,\n                       ") +
               "[ rdfs:label " + quoted(points[i].second) + " ; rdf:value " +
               number(static_cast<float>(points[i].first)) + " ]";
    }
    return out + " ;\n";
}

std::string controlPort(const ControlPort& port,
                        const std::map<AudioUnitParameterID, ParameterDescription>& table) {
    std::ostringstream out;
    out << "    a lv2:" << (port.input ? "InputPort" : "OutputPort") << " , lv2:ControlPort ;\n"
        << "        lv2:index " << port.index << " ;\n"
        << "        lv2:symbol " << quoted(port.symbol) << " ;\n";
    if (!port.parameter) {
        out << "        lv2:name \"Level\" ;\n"
            << "        lv2:minimum " << number(kLevelFloorDbfs) << " ;\n"
            << "        lv2:maximum " << number(kLevelPortMaxDbfs) << " ;\n"
            << "        lv2:default " << number(kLevelFloorDbfs) << " ;\n"
            << "        units:unit units:db\n";
        return out.str();
    }
    const ParameterDescription& p = table.at(*port.parameter);
    out << "        lv2:name " << quoted(p.name) << " ;\n"
        << "        lv2:minimum " << number(p.minValue) << " ;\n"
        << "        lv2:maximum " << number(p.maxValue) << " ;\n"
        << "        lv2:default " << number(p.defaultValue) << " ;\n";
    if (*port.parameter == kTunerPrecision) {
        std::vector<std::pair<int, std::string>> points;
        for (int step = 0; step < static_cast<int>(std::size(kRingSizes)); ++step)
            points.emplace_back(step, std::to_string(kRingSizes[step]) + " lobes");
        out << "        lv2:portProperty lv2:integer , lv2:enumeration ;\n" << scalePoints(points);
    } else if (*port.parameter == kTunerNote) {
        std::vector<std::pair<int, std::string>> points;
        for (int bin = 0; bin < kNoteBins; ++bin) points.emplace_back(bin, noteName(bin));
        out << "        lv2:portProperty lv2:integer ;\n" << scalePoints(points);
    }
    // The unit files Pitch under a generic unit (its saved states rely on it); it is in hertz.
    if (p.unit == kAudioUnitParameterUnit_Hertz || *port.parameter == kTunerPitch)
        out << "        units:unit units:hz ;\n";
    std::string text = out.str();
    text.erase(text.size() - 3);  // the last statement's " ;\n"
    return text + "\n";
}

std::string audioPort(std::uint32_t index, const char* symbol, bool input) {
    std::ostringstream out;
    out << "    a lv2:" << (input ? "InputPort" : "OutputPort") << " , lv2:AudioPort ;\n"
        << "        lv2:index " << index << " ;\n"
        << "        lv2:symbol " << quoted(symbol) << " ;\n"
        << "        lv2:name " << quoted(symbol) << "\n";
    return out.str();
}

std::string pluginTtl(const PluginKind& kind,
                      const std::map<AudioUnitParameterID, ParameterDescription>& table) {
    std::vector<std::string> ports;
    for (const ControlPort& port : kControlPorts) ports.push_back(controlPort(port, table));
    for (std::uint32_t c = 0; c < kind.channels; ++c)
        ports.push_back(audioPort(kind.audioIn(c), kind.inputSymbols[c], true));
    for (std::uint32_t c = 0; c < kind.channels; ++c)
        ports.push_back(audioPort(kind.audioOut(c), kind.outputSymbols[c], false));

    std::string out = "<" + std::string(kind.uri) + ">\n";
    for (const std::string& statement : pluginStatements(kind)) out += "    " + statement + " ;\n";
    out += "    lv2:port [\n";
    for (std::size_t i = 0; i < ports.size(); ++i)
        out += ports[i] + (i + 1 < ports.size() ? "    ] , [\n" : "    ] .\n");
    return out;
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::trunc);
    file << text;
    file.close();
    if (!file) std::cerr << "marvex-lv2-ttl: cannot write " << path << "\n";
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: marvex-lv2-ttl UNIT_BUNDLE OUTPUT_DIR MODULE_FILE_NAME "
                     "UI_MODULE_FILE_NAME\n";
        return 2;
    }
    const std::string outputDir = argv[2];
    const std::string module = argv[3];
    const std::string uiModule = argv[4];
    std::map<AudioUnitParameterID, ParameterDescription> table;
    try {
        HostedUnit unit = HostedUnit::openFromBundle(argv[1]);
        for (const ParameterDescription& p : unit.parameterTable()) table[p.id] = p;
    } catch (const std::exception& error) {
        std::cerr << "marvex-lv2-ttl: " << error.what() << "\n";
        return 1;
    }
    for (const ControlPort& port : kControlPorts) {
        if (port.parameter && table.count(*port.parameter) == 0) {
            std::cerr << "marvex-lv2-ttl: the unit has no parameter for port " << port.symbol
                      << "\n";
            return 1;
        }
    }

    std::string manifest = std::string(kPrefixes);
    std::string plugins =
        std::string(kPrefixes) + "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n";
    // The inline-display extension has no schema installed; say what its two terms are.
    plugins += "\nidisp:interface a lv2:ExtensionData .\nidisp:queue_draw a lv2:Feature .\n";
    for (const PluginKind& kind : kPluginKinds) {
        manifest += "\n<" + std::string(kind.uri) + ">\n    a lv2:Plugin ;\n    lv2:binary <" +
                    module + "> ;\n    rdfs:seeAlso <marvex.ttl> .\n";
        plugins += "\n" + pluginTtl(kind, table);
    }
    // The UI embeds in the host's window and needs the host's idle calls when the host has no
    // toolkit loop of its own; it redraws at the host's display rate when told it.
    manifest += "\n<" + std::string(kUiUri) + ">\n    a ui:X11UI ;\n    ui:binary <" + uiModule +
                "> ;\n    lv2:requiredFeature ui:parent ;\n"
                "    lv2:optionalFeature ui:idleInterface , ui:resize , urid:map , opts:options ;\n"
                "    lv2:extensionData ui:idleInterface ;\n"
                "    opts:supportedOption ui:updateRate .\n";
    return writeFile(outputDir + "/manifest.ttl", manifest) &&
                   writeFile(outputDir + "/marvex.ttl", plugins)
               ? 0
               : 1;
}
