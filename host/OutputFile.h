#pragma once

#include <cstdio>
#include <string>

namespace marvex {

// An output that appears whole or not at all. A named file is written to a temporary file
// beside it and renamed over the target by commit(); without commit (an error, an exception)
// the temporary file is removed and the target is left as it was. The path "-" (or an empty
// path) is standard output; an existing device or pipe (/dev/null) is written in place.
// [control] throughout.
// Failures throw HostError(Output) naming the file.
class OutputFile {
public:
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool isStandardOutput() const { return mTempPath.empty() && !mInPlace; }
    const std::string& path() const { return mPath; }

    // The stream to write to.
    std::FILE* stream() const { return mStream; }

    // The path to hand a library that writes by file name (the stream is closed first): the
    // temporary file, or the device itself. Not available for standard output.
    const std::string& closeForPathWrite();

    // Checks that everything was written and moves the file into place.
    void commit();

private:
    [[noreturn]] void fail(const std::string& what, int error);
    void discard();

    std::string mPath;
    std::string mTempPath;
    std::FILE* mStream = nullptr;
    bool mInPlace = false;
    bool mCommitted = false;
};

}  // namespace marvex
