#pragma once
// A private temporary directory for a test's files, removed with everything in it.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace marvex::test {

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "marvex-test-XXXXXX").string();
        mPath = ::mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(mPath); }
    std::string operator/(const std::string& name) const { return (mPath / name).string(); }
    const std::filesystem::path& path() const { return mPath; }

private:
    std::filesystem::path mPath;
};

// A whole file's bytes (none if it cannot be read).
inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace marvex::test
