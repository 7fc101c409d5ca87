#include "host/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/HostError.h"

namespace marvex {

OutputFile::OutputFile(std::string path) : mPath(std::move(path)) {
    if (mPath.empty() || mPath == "-") {
        mPath = "standard output";
        mStream = stdout;
        return;
    }
    struct stat st {};
    const bool exists = ::stat(mPath.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) fail("is a directory", EISDIR);
    if (exists && !S_ISREG(st.st_mode)) {
        // A device, pipe or socket (/dev/null, a FIFO) is written in place: there is nothing
        // to replace, and renaming over it would destroy it.
        mStream = std::fopen(mPath.c_str(), "wb");
        if (mStream == nullptr) fail("cannot be written", errno);
        mInPlace = true;
        return;
    }
    const auto slash = mPath.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : mPath.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? mPath : mPath.substr(slash + 1);
    std::string pattern = dir + "." + base + ".partial-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) fail("cannot be written", errno);
    // mkstemp creates 0600; give the file the permissions a plainly created one would get.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    mTempPath = pattern;
    mStream = ::fdopen(fd, "wb");
    if (mStream == nullptr) {
        const int error = errno;
        ::close(fd);
        ::unlink(mTempPath.c_str());
        mTempPath.clear();
        fail("cannot be written", error);
    }
}

OutputFile::~OutputFile() {
    if (!mCommitted) discard();
}

void OutputFile::discard() {
    if (mInPlace && mStream != nullptr) {
        std::fclose(mStream);
        mStream = nullptr;
    }
    if (mTempPath.empty()) return;
    if (mStream != nullptr) std::fclose(mStream);
    mStream = nullptr;
    ::unlink(mTempPath.c_str());
}

const std::string& OutputFile::closeForPathWrite() {
    if (mInPlace) {
        std::fclose(mStream);
        mStream = nullptr;
        return mPath;
    }
    if (mTempPath.empty()) fail("cannot be written by name", EINVAL);
    if (mStream != nullptr) {
        std::fclose(mStream);
        mStream = nullptr;
    }
    return mTempPath;
}

void OutputFile::commit() {
    if (mCommitted) return;
    if (mInPlace) {
        if (mStream != nullptr) {
            const bool bad = std::fflush(mStream) != 0 || std::ferror(mStream);
            const int error = errno;
            const bool closeFailed = std::fclose(mStream) != 0;
            mStream = nullptr;
            if (bad || closeFailed) fail("write failed", error);
        }
        mCommitted = true;
        return;
    }
    if (mTempPath.empty()) {
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) fail("write failed", errno);
        mCommitted = true;
        return;
    }
    if (mStream != nullptr) {
        const bool bad = std::fflush(mStream) != 0 || std::ferror(mStream);
        const int error = errno;
        const bool closeFailed = std::fclose(mStream) != 0;
        mStream = nullptr;
        if (bad || closeFailed) fail("write failed", error);
    }
    if (::rename(mTempPath.c_str(), mPath.c_str()) != 0) fail("cannot be written", errno);
    mTempPath.clear();
    mCommitted = true;
}

void OutputFile::fail(const std::string& what, int error) {
    discard();
    mTempPath.clear();
    throw HostError(
        HostErrorKind::Output,
        mPath + ": " + what + (error != 0 ? std::string(" (") + std::strerror(error) + ")" : ""));
}

}  // namespace marvex
