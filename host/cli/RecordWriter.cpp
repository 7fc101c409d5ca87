#include "host/cli/RecordWriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "host/NoteName.h"

namespace marvex {
namespace {

constexpr const char* kKeys[kTunerParameterCount] = {
    "precision", "pitch", "frequency", "lower", "central", "upper", "note", "deviation"};

// "%.9g" of a finite float: nine significant digits read back as the same float. to_chars
// prints exactly what printf would, without the locale and format-string work.
std::size_t formatNumber(char (&text)[32], float value) {
    const auto result = std::to_chars(text, text + sizeof text, static_cast<double>(value),
                                      std::chars_format::general, 9);
    return static_cast<std::size_t>(result.ptr - text);
}

void appendNumber(std::FILE* out, float value) {
    char text[32];
    std::fwrite(text, 1, formatNumber(text, value), out);
}

void appendJsonNumber(std::string& out, float value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    out.append(text, formatNumber(text, value));
}

template <typename Integer>
void appendInteger(std::string& out, Integer value) {
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, static_cast<std::size_t>(result.ptr - text));
}

std::string noteNameOf(const BlockRecord& record) {
    const auto bin = noteBin(record.value(kTunerNote));
    return bin ? noteName(*bin) : std::string();
}

// Writes through its own buffer in large pieces: a stream call per line costs more than the
// line's formatting.
class JsonlWriter final : public RecordWriter {
public:
    explicit JsonlWriter(std::FILE* out) : mOut(out) { mBuffer.reserve(kFlushBytes + 1024); }
    ~JsonlWriter() override { flush(); }
    void write(const BlockRecord& record) override {
        appendJsonlLine(mBuffer, record);
        mBuffer += '\n';
        if (mBuffer.size() >= kFlushBytes) flush();
    }
    void end() override { flush(); }

private:
    static constexpr std::size_t kFlushBytes = 64 * 1024;
    void flush() {
        // A short write leaves the stream's error flag set, which the output's commit reports.
        if (!mBuffer.empty()) std::fwrite(mBuffer.data(), 1, mBuffer.size(), mOut);
        mBuffer.clear();
    }

    std::FILE* mOut;
    std::string mBuffer;
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
            std::fputc(',', mOut);
            if (std::isfinite(value)) appendNumber(mOut, value);
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

void appendJsonlLine(std::string& line, const BlockRecord& record) {
    line += "{\"frame\": ";
    appendInteger(line, record.frame);
    line += ", \"frames\": ";
    appendInteger(line, record.frames);
    for (std::uint32_t id = 0; id < kTunerParameterCount; ++id) {
        line += ", \"";
        line += kKeys[id];
        line += "\": ";
        appendJsonNumber(line, record.values[id]);
    }
    line += ", \"note_name\": ";
    // Names are plain ASCII ("C#4"), so quoting needs no escapes.
    const auto bin = noteBin(record.value(kTunerNote));
    if (bin) {
        line += '"';
        line += noteName(*bin);
        line += '"';
    } else {
        line += "null";
    }
    line += '}';
}

std::string jsonlLine(const BlockRecord& record) {
    std::string line;
    appendJsonlLine(line, record);
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
