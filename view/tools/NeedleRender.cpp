// Renders the needle view at deviations -1, -0.5, 0, 0.5 and 1 into needle-<deviation>.png
// (and .svg with --svg), e.g. needle--0.5.png and needle-0.5.png.
//
//   marvex-needle-render [--out DIR] [--bundle DIR | --no-glass] [--background RRGGBB|none] [--svg]
//
// Without --bundle the glass comes from the bundle holding the view's code, which in the build
// tree is the directory of the marvex_view library.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "view/NeedleView.h"
#include "view/Retained.h"

namespace {

std::optional<NSColor> parseBackground(const std::string& text, bool& ok) {
    ok = true;
    if (text == "none") return std::nullopt;
    unsigned rgb = 0;
    int used = 0;
    if (text.size() != 6 || std::sscanf(text.c_str(), "%6x%n", &rgb, &used) != 1 || used != 6) {
        ok = false;
        return std::nullopt;
    }
    return NSColor::colorWithRed(((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0,
                                 (rgb & 0xff) / 255.0);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Render the tuner's needle view at five deviations."};
    std::string outDir = ".";
    std::string bundleDir;
    bool noGlass = false;
    bool svg = false;
    std::string background = "20252b";
    app.add_option("--out", outDir, "Directory for the pictures");
    auto* bundleOption =
        app.add_option("--bundle", bundleDir, "Bundle directory holding Resources/glass.png");
    app.add_flag("--no-glass", noGlass, "Draw without the glass overlay")->excludes(bundleOption);
    app.add_option("--background", background, "Colour behind the view (RRGGBB) or none");
    app.add_flag("--svg", svg, "Also write SVG files");
    CLI11_PARSE(app, argc, argv);

    bool backgroundOk = false;
    const auto backdrop = parseBackground(background, backgroundOk);
    if (!backgroundOk) {
        std::fprintf(stderr, "marvex-needle-render: --background wants RRGGBB or none, not %s\n",
                     background.c_str());
        return 2;
    }

    std::optional<NSBundle> bundle;
    if (!bundleDir.empty()) {
        bundle = NSBundle::bundleWithPath(bundleDir);
        if (!bundle) {
            std::fprintf(stderr, "marvex-needle-render: %s is not a directory\n",
                         bundleDir.c_str());
            return 1;
        }
    } else if (!noGlass) {
        bundle = NSBundle::bundleForClass(NeedleView::viewClass());
    }

    const NSRect frame = NSMakeRect(0, 0, 212, 104);
    marvex::Retained<NeedleView> view(NeedleView::alloc()->initWithFrame(frame, bundle));
    if (!view) {
        std::fprintf(stderr, "marvex-needle-render: cannot create the view\n");
        return 1;
    }
    if (!noGlass && view->glass() == nullptr) {
        std::fprintf(stderr, "marvex-needle-render: no glass.png in %s/Resources\n",
                     bundle ? bundle->bundlePath().c_str() : "(no bundle)");
        return 1;
    }
    view->setBackgroundColor(backdrop);

    std::error_code error;
    std::filesystem::create_directories(outDir, error);
    for (float deviation : {-1.0f, -0.5f, 0.0f, 0.5f, 1.0f}) {
        view->setDeviation(deviation);
        char name[32];
        std::snprintf(name, sizeof name, "needle-%g", static_cast<double>(deviation));
        const std::string base = (std::filesystem::path(outDir) / name).string();
        if (!view->writePNG(base + ".png") || (svg && !view->writeSVG(base + ".svg"))) {
            std::fprintf(stderr, "marvex-needle-render: cannot write %s\n", base.c_str());
            return 1;
        }
        std::printf("%s.png\n", base.c_str());
    }
    return 0;
}
