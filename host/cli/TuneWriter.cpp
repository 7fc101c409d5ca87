#include "host/cli/TuneWriter.h"

#include <nlohmann/json.hpp>

#include "host/NoteName.h"
#include "host/TextNeedle.h"

namespace marvex {

void writeTuneText(std::FILE* out, const std::vector<TuneSegment>& segments, double sampleRateHz,
                   const Intonation* intonation) {
    if (intonation != nullptr)
        std::fprintf(out, "temperament %s on %s: notes and cents from its nearest degree\n",
                     intonation->temperament.name().c_str(), pitchClassName(intonation->tonic));
    std::fputs("    time (s)      note  frequency      cents  -50         0        +50\n", out);
    for (const TuneSegment& segment : segments) {
        std::fprintf(out, "%6.2f - %6.2f  ", static_cast<double>(segment.startFrame) / sampleRateHz,
                     static_cast<double>(segment.endFrame) / sampleRateHz);
        switch (segment.kind) {
            case TuneSegment::Kind::Silence:
                std::fputs("(silence)\n", out);
                break;
            case TuneSegment::Kind::Unclear:
                std::fputs("(no steady pitch)\n", out);
                break;
            case TuneSegment::Kind::Note: {
                const TemperedNote note =
                    intonation
                        ? intonation->read(segment.meanFrequencyHz, segment.bin, segment.centralHz)
                        : TemperedNote{noteName(segment.bin), 0.0, segment.centsOff};
                std::fprintf(out, "%-4s %9.2f Hz  %+6.1f  %s\n", note.name.c_str(),
                             segment.meanFrequencyHz, note.centsOff,
                             textNeedle(note.centsOff).c_str());
                break;
            }
        }
    }
}

void writeTuneJsonl(std::FILE* out, const std::vector<TuneSegment>& segments, double sampleRateHz,
                    const Intonation* intonation) {
    for (const TuneSegment& segment : segments) {
        nlohmann::ordered_json line;
        line["start"] = static_cast<double>(segment.startFrame) / sampleRateHz;
        line["end"] = static_cast<double>(segment.endFrame) / sampleRateHz;
        switch (segment.kind) {
            case TuneSegment::Kind::Silence:
                line["kind"] = "silence";
                break;
            case TuneSegment::Kind::Unclear:
                line["kind"] = "unclear";
                break;
            case TuneSegment::Kind::Note:
                line["kind"] = "note";
                line["note_name"] = noteName(segment.bin);
                line["note"] = segment.bin;
                line["frequency"] = segment.meanFrequencyHz;
                line["central"] = segment.centralHz;
                line["cents"] = segment.centsOff;
                if (intonation != nullptr) {
                    const TemperedNote note =
                        intonation->read(segment.meanFrequencyHz, segment.bin, segment.centralHz);
                    line["temperament"] = intonation->temperament.name();
                    line["tonic"] = pitchClassName(intonation->tonic);
                    line["degree_name"] = note.name;
                    line["degree_frequency"] = note.frequencyHz;
                    line["degree_cents"] = note.centsOff;
                }
                break;
        }
        const std::string text = line.dump();
        std::fprintf(out, "%s\n", text.c_str());
    }
}

}  // namespace marvex
