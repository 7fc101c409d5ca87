#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "host/BlockRecord.h"

namespace marvex {

enum class RecordFormat { Jsonl, Csv, Text };

// Parses "jsonl", "csv" or "text".
bool parseRecordFormat(const std::string& text, RecordFormat& format);

// Writes per-block records to a stream. The jsonl form is a contract other programs read: one
// object per line, keys in a fixed order, every value printed so that it reads back as the exact
// 32-bit float (NaN and infinities as null).
class RecordWriter {
public:
    virtual ~RecordWriter() = default;
    virtual void begin() {}
    virtual void write(const BlockRecord& record) = 0;
    virtual void end() {}
};

std::unique_ptr<RecordWriter> makeRecordWriter(RecordFormat format, std::FILE* out,
                                               double sampleRateHz);

// One jsonl line, without the newline.
std::string jsonlLine(const BlockRecord& record);

// The same line appended to `line` (no allocation once `line` has room).
void appendJsonlLine(std::string& line, const BlockRecord& record);

}  // namespace marvex
