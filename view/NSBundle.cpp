#include "view/NSBundle.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool isPlainComponent(std::string_view part) {
    return part.find('/') == std::string_view::npos && part.find('\0') == std::string_view::npos;
}

}  // namespace

std::optional<NSBundle> NSBundle::bundleWithPath(const std::string& path) {
    std::error_code error;
    if (path.empty() || !fs::is_directory(path, error)) return std::nullopt;
    fs::path absolute = fs::absolute(path, error);
    if (error) return std::nullopt;
    return NSBundle(absolute.lexically_normal().string());
}

std::optional<NSBundle> NSBundle::bundleForClass(const NSClass& cls) {
    Dl_info info{};
    if (cls.codeAddress == nullptr || dladdr(cls.codeAddress, &info) == 0 ||
        info.dli_fname == nullptr || info.dli_fname[0] == '\0') {
        return std::nullopt;
    }
    // For the main program the loader reports argv[0], which may be a bare name found on PATH.
    const std::string_view name = info.dli_fname;
    const char* file = name.find('/') == std::string_view::npos ? "/proc/self/exe" : info.dli_fname;
    std::error_code error;
    fs::path module = fs::canonical(file, error);
    if (error) return std::nullopt;
    return bundleWithPath(module.parent_path().string());
}

std::optional<std::string> NSBundle::pathForResource(std::string_view name,
                                                     std::string_view type) const {
    if (name.empty() || name == "." || name == ".." || !isPlainComponent(name) ||
        !isPlainComponent(type)) {
        return std::nullopt;
    }
    std::string file(name);
    if (!type.empty()) file.append(".").append(type);
    fs::path path = fs::path(mPath) / "Resources" / file;
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return std::nullopt;
    return path.string();
}
