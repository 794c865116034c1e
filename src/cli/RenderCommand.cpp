#include "cli/RenderCommand.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "display/Background.h"
#include "display/LayoutViewport.h"
#include "display/ObjectDrawing.h"
#include "model/ModelSettings.h"
#include "platform/Messages.h"
#include "platform/qt/PictureFile.h"

namespace zandor::cli {

namespace {

constexpr double kScreenDpi = 96;
constexpr int kLargestSide = 16384;

bool ParseSize(const std::string& text, int& w, int& h) {
    const auto x = text.find('x');
    if (x == std::string::npos) return false;
    char* end = nullptr;
    const long a = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() + x) return false;
    const long b = std::strtol(text.c_str() + x + 1, &end, 10);
    if (*end != '\0' || a < 2 || b < 2 || a > kLargestSide || b > kLargestSide) return false;
    w = static_cast<int>(a);
    h = static_cast<int>(b);
    return true;
}

}  // namespace

std::string ParseRenderArguments(const std::vector<std::string>& args, RenderRequest& request) {
    std::vector<std::string> positional;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (a == "--black") {
            request.black = true;
        } else if (a == "--size" || a == "--levels") {
            if (k + 1 >= args.size()) return a + " needs a value";
            const std::string& value = args[++k];
            if (a == "--size") {
                if (!ParseSize(value, request.width, request.height))
                    return "--size needs WIDTHxHEIGHT in pixels (2.." + std::to_string(kLargestSide) + "), not " +
                           value;
            } else {
                char* end = nullptr;
                const long levels = std::strtol(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0' || levels < 1 || levels > 30)
                    return "--levels needs a number 1..30, not " + value;
                request.levels = static_cast<int>(levels);
            }
        } else if (a.rfind("--", 0) == 0) {
            return "unknown option " + a;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) return "render needs an input file and an output picture";
    request.in = positional[0];
    request.out = positional[1];
    return {};
}

bool RunRender(Layout& layout, const RenderRequest& request) {
    const ModelSettings saved = Settings();
    Settings().backgroundBlack = request.black;
    Settings().levels = request.levels;

    LayoutViewport view(layout);
    view.PrepareMapping(request.width, request.height, kScreenDpi);
    const bool written = WritePngPicture(request.out, request.width, request.height,
                                         request.black ? 0x000000u : 0xFFFFFFu, [&](Canvas& canvas) {
                                             Background().DrawBackground(layout, canvas, false, request.black);
                                             DrawLayoutOnCanvasWithFont(layout, canvas);
                                         });
    Settings() = saved;
    if (!written) platform::ShowError("Unable to save file!");
    return written;
}

}  // namespace zandor::cli
