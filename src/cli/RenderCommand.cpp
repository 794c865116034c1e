#include "cli/RenderCommand.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/Numbers.h"
#include "display/Background.h"
#include "display/LayoutViewport.h"
#include "display/ObjectDrawing.h"
#include "model/LayerDescription.h"
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

// "A,B,C,D" of decimal numbers.
bool ParseNumbers(const std::string& text, double* values, int count) {
    const char* p = text.c_str();
    for (int k = 0; k < count; ++k) {
        char* end = nullptr;
        values[k] = std::strtod(p, &end);
        if (end == p || !std::isfinite(values[k])) return false;
        if (k + 1 < count) {
            if (*end != ',') return false;
            p = end + 1;
        } else if (*end != '\0') {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string ParseRenderArguments(const std::vector<std::string>& args, RenderRequest& request) {
    std::vector<std::string> positional;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (a == "--black") {
            request.black = true;
        } else if (a == "--mono") {
            request.mono = true;
        } else if (a == "--layer" || a == "--window" || a == "--dpi") {
            if (k + 1 >= args.size()) return a + " needs a value";
            const std::string& value = args[++k];
            if (a == "--layer") {
                char* end = nullptr;
                const long layer = std::strtol(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0' || layer < 0 || layer > 255)
                    return "--layer needs a layer number 0..255, not " + value;
                request.layer = static_cast<int>(layer);
            } else if (a == "--window") {
                double v[4];
                if (!ParseNumbers(value, v, 4) || v[2] <= 0 || v[3] <= 0 || std::fabs(v[0]) > 70 ||
                    std::fabs(v[1]) > 70 || v[0] + v[2] > 70 || v[1] + v[3] > 70)
                    return "--window needs X,Y,WIDTH,HEIGHT in inches (within +-70), not " + value;
                request.window = true;
                request.windowX = v[0], request.windowY = v[1], request.windowWidth = v[2], request.windowHeight = v[3];
            } else {
                double dpi = 0;
                if (!ParseNumbers(value, &dpi, 1) || dpi <= 0 || dpi > 1e7)
                    return "--dpi needs dots per inch above 0, not " + value;
                request.dpi = dpi;
            }
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
    if (request.window != (request.dpi > 0)) return "--window and --dpi go together";
    if (request.window) {
        const double w = std::ceil(request.windowWidth * request.dpi - 1e-9);
        const double h = std::ceil(request.windowHeight * request.dpi - 1e-9);
        if (w < 2 || h < 2 || w > kLargestSide || h > kLargestSide)
            return "the window at that resolution gives a picture of " + std::to_string(static_cast<long long>(w)) +
                   "x" + std::to_string(static_cast<long long>(h)) + " pixels; 2.." + std::to_string(kLargestSide) +
                   " are possible";
        request.width = static_cast<int>(w);
        request.height = static_cast<int>(h);
    }
    return {};
}

bool RunRender(Layout& layout, const RenderRequest& request) {
    const ModelSettings saved = Settings();
    Settings().backgroundBlack = request.black;
    Settings().levels = request.levels;

    if (request.layer >= 0) {
        layout.HideAllLayers();
        if (LayerDescription* shown = layout.Layer(request.layer)) shown->visible = 1;
    }
    if (request.mono) {
        Settings().fill = true;
        Settings().outlines = false;
        const std::uint32_t ink = request.black ? 0xFFFFFFu : 0x000000u;
        for (int k = 0; k < kLayerCount; ++k) {
            if (LayerDescription* d = layout.Layer(k)) {
                d->SetFillColor(ink);
                d->SetOutlineColor(ink);
                d->SetFillStyle(FillSolid);
                d->SetOutlineStyle(OutlineSolid);
            }
        }
    }
    if (request.window) {
        // Pixel i covers [x + i / dpi, x + (i + 1) / dpi) inches from the left
        // edge, the top row lies at the window's top.
        constexpr double kNanometresPerInch = 25.4e6;
        ViewState& v = layout.view;
        v.xmin = RoundHalfAway(request.windowX * kNanometresPerInch);
        v.ymin = RoundHalfAway(request.windowY * kNanometresPerInch);
        v.xmax = RoundHalfAway((request.windowX + request.width / request.dpi) * kNanometresPerInch);
        v.ymax = RoundHalfAway((request.windowY + request.windowHeight) * kNanometresPerInch);
        v.ymin = RoundHalfAway(v.ymax - request.height / request.dpi * kNanometresPerInch);
        v.W = static_cast<std::uint32_t>(v.xmax - v.xmin);
        v.H = static_cast<std::uint32_t>(v.ymax - v.ymin);
        v.sx = v.sy = request.dpi / kNanometresPerInch;
        v.twoPixels = RoundHalfAway(2 / v.sx) + 1;
        v.minObjectSize = v.twoPixels / 2 + 1;
    } else {
        LayoutViewport view(layout);
        view.PrepareMapping(request.width, request.height, kScreenDpi);
    }
    const bool written = WritePngPicture(request.out, request.width, request.height,
                                         request.black ? 0x000000u : 0xFFFFFFu, [&](Canvas& canvas) {
                                             if (!request.mono)
                                                 Background().DrawBackground(layout, canvas, false, request.black);
                                             DrawLayoutOnCanvasWithFont(layout, canvas);
                                         });
    Settings() = saved;
    if (!written) platform::ShowError("Unable to save file!");
    return written;
}

}  // namespace zandor::cli
