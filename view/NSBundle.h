#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "view/NSClass.h"

// A bundle is a directory; its resources live in <bundle>/Resources/. A plain value. [control]
// throughout: lookups build paths and ask the file system.
class NSBundle {
public:
    // The bundle at `path` (made absolute), or nil when it is not a directory.
    static std::optional<NSBundle> bundleWithPath(const std::string& path);
    // The bundle holding the module whose code defines `cls`: the directory of
    // that module's file. Nil when the module cannot be found.
    static std::optional<NSBundle> bundleForClass(const NSClass& cls);

    const std::string& bundlePath() const { return mPath; }

    // <bundle>/Resources/<name>.<type> (just <name> when `type` is empty) if that
    // is an existing file, otherwise nil. Names that are empty, ".", ".." or hold a '/' or a
    // NUL (which could leave Resources/) and types holding either are refused with nil.
    std::optional<std::string> pathForResource(std::string_view name, std::string_view type) const;

    friend bool operator==(const NSBundle&, const NSBundle&) = default;

private:
    explicit NSBundle(std::string path) : mPath(std::move(path)) {}

    std::string mPath;
};
