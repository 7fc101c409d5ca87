#include "host/RecordWriter.h"

#include <cmath>

#include "host/NoteName.h"

namespace marvex {
namespace {

constexpr const char* kKeys[kTunerParameterCount] = {
    "precision", "pitch", "frequency", "lower", "central", "upper", "note", "deviation"};

std::string noteNameOf(const BlockRecord& record) {
    const auto bin = noteBin(record.value(kTunerNote));
    return bin ? noteName(*bin) : std::string();
}

class JsonlWriter final : public RecordWriter {
public:
    explicit JsonlWriter(std::FILE* out) : mOut(out) {}
    void write(const BlockRecord& record) override {
        const std::string line = jsonlLine(record);
        std::fputs(line.c_str(), mOut);
        std::fputc('\n', mOut);
    }

private:
    std::FILE* mOut;
};

class CsvWriter final : public RecordWriter {
public:
    explicit CsvWriter(std::FILE* out) : mOut(out) {}
    void begin() override {
        std::fputs("frame,frames", mOut);
        for (const char* key : kKeys) std::fprintf(mOut, ",%s", key);
        std::fputs(",note_name\n", mOut);
    }
    void write(const BlockRecord& record) override {
        std::fprintf(mOut, "%lld,%u", static_cast<long long>(record.frame), record.frames);
        for (float value : record.values) {
            // An empty field stands for a value that is not a finite number.
            if (std::isfinite(value))
                std::fprintf(mOut, ",%.9g", static_cast<double>(value));
            else
                std::fputc(',', mOut);
        }
        std::fprintf(mOut, ",%s\n", noteNameOf(record).c_str());
    }

private:
    std::FILE* mOut;
};

class TextWriter final : public RecordWriter {
public:
    TextWriter(std::FILE* out, double sampleRateHz) : mOut(out), mSampleRateHz(sampleRateHz) {}
    void begin() override {
        std::fputs(
            "   time (s)  frequency (Hz)  note  deviation   band (Hz)             "
            "precision  pitch\n",
            mOut);
    }
    void write(const BlockRecord& record) override {
        const std::string name = noteNameOf(record);
        char band[64];
        std::snprintf(band, sizeof band, "%.2f - %.2f",
                      static_cast<double>(record.value(kTunerLowerFrequency)),
                      static_cast<double>(record.value(kTunerUpperFrequency)));
        std::fprintf(mOut, "%11.3f  %14.3f  %-4s  %+9.4f   %-20s  %9g  %5g\n",
                     static_cast<double>(record.frame) / mSampleRateHz,
                     static_cast<double>(record.value(kTunerFrequency)),
                     name.empty() ? "-" : name.c_str(),
                     static_cast<double>(record.value(kTunerDeviation)), band,
                     static_cast<double>(record.value(kTunerPrecision)),
                     static_cast<double>(record.value(kTunerPitch)));
    }

private:
    std::FILE* mOut;
    double mSampleRateHz;
};

}  // namespace

bool parseRecordFormat(const std::string& text, RecordFormat& format) {
    if (text == "jsonl")
        format = RecordFormat::Jsonl;
    else if (text == "csv")
        format = RecordFormat::Csv;
    else if (text == "text")
        format = RecordFormat::Text;
    else
        return false;
    return true;
}

std::string jsonNumber(float value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string jsonlLine(const BlockRecord& record) {
    std::string line = "{\"frame\": " + std::to_string(record.frame) +
                       ", \"frames\": " + std::to_string(record.frames);
    for (std::uint32_t id = 0; id < kTunerParameterCount; ++id)
        line += std::string(", \"") + kKeys[id] + "\": " + jsonNumber(record.values[id]);
    const std::string name = noteNameOf(record);
    line += ", \"note_name\": ";
    // Names are plain ASCII ("C#4"), so quoting needs no escapes.
    line += name.empty() ? std::string("null") : "\"" + name + "\"";
    line += "}";
    return line;
}

std::unique_ptr<RecordWriter> makeRecordWriter(RecordFormat format, std::FILE* out,
                                               double sampleRateHz) {
    switch (format) {
        case RecordFormat::Jsonl:
            return std::make_unique<JsonlWriter>(out);
        case RecordFormat::Csv:
            return std::make_unique<CsvWriter>(out);
        case RecordFormat::Text:
            return std::make_unique<TextWriter>(out, sampleRateHz);
    }
    return nullptr;
}

}  // namespace marvex
