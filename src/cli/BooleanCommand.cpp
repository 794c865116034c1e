#include "cli/BooleanCommand.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <set>

#include "geometry/PolygonSplit.h"
#include "model/Geometry.h"
#include "platform/Messages.h"

namespace zandor::cli {

namespace {

bool ParseNumber(const std::string& text, long low, long high, int& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || number < low || number > high) return false;
    value = static_cast<int>(number);
    return true;
}

// Feeds the rectangles, boxes and polygons of one symbol on layers A and B,
// following calls and arrays with their transforms.
class Feeder {
public:
    Feeder(Layout& layout, Bool_Engine& engine, int layerA, int layerB)
        : layout_(layout), engine_(engine), layerA_(layerA), layerB_(layerB) {}

    void Feed(const SymbolDescription& symbol, const TransformMatrix& t) {
        // A damaged file may call a symbol from inside itself.
        if (!open_.insert(&symbol).second) return;
        for (const Word* r = symbol.FirstRecord(); r; r = symbol.NextRecord(r)) FeedRecord(r, t);
        open_.erase(&symbol);
    }

private:
    void FeedRecord(const Word* r, const TransformMatrix& t) {
        const ObjectKind kind = RecordKind(r);
        if (kind == ObjectKind::SymbolCall) {
            if (const SymbolDescription* called = layout_.FindSymbol(r[5])) {
                Feed(*called, ComposeTransform(ReadMatrix(r + kCallMatrixWord), t));
            }
            return;
        }
        if (kind == ObjectKind::SymbolArray) {
            const SymbolDescription* called = layout_.FindSymbol(r[5]);
            if (!called || ReadDouble(r + 14) == 0) return;
            for (int i = 0; i < r[6]; ++i) {
                for (int j = 0; j < r[7]; ++j) Feed(*called, ComposeTransform(ElementMatrix(r, i, j), t));
            }
            return;
        }
        // A layer given as both A and B goes into both groups.
        const int layer = RecordLayer(r);
        const bool inA = layer == layerA_, inB = layer == layerB_;
        if (!inA && !inB) return;
        std::vector<Point> points;
        switch (kind) {
            case ObjectKind::Rectangle:
                points = {{r[1], r[2]}, {r[3], r[2]}, {r[3], r[4]}, {r[1], r[4]}};
                break;
            case ObjectKind::Box:
                points = RotatedBoxCorners({r[1], r[2]}, r[3], r[4], r[5]);
                break;
            case ObjectKind::Polygon:
                points.assign(PolygonNodes(r), PolygonNodes(r) + PolygonNodeCount(r));
                break;
            default:
                return;
        }
        TransformPoints(points.data(), static_cast<int>(points.size()), t);
        if (inA) AddContour(GroupA, points);
        if (inB) AddContour(GroupB, points);
    }

    void AddContour(GroupType group, const std::vector<Point>& points) {
        engine_.BeginContour(group);
        for (const Point& p : points) engine_.AddVertex(p.X, p.Y);
        engine_.EndContour();
    }

    Layout& layout_;
    Bool_Engine& engine_;
    int layerA_, layerB_;
    std::set<const SymbolDescription*> open_;
};

}  // namespace

std::string ParseBooleanArguments(const std::vector<std::string>& args, BooleanRequest& request) {
    struct OperationName {
        BooleanOperation operation;
        const char* errorText;
    };
    static const std::map<std::string, OperationName> operations = {
        {"or", {OpOr, "Unexpected error during Merge operation"}},
        {"and", {OpAnd, "Unexpected error during Intersect operation"}},
        {"xor", {OpExor, "Unexpected error during XOR operation"}},
        {"a-b", {OpAMinusB, "Unexpected error during Subtract operation"}},
        {"b-a", {OpBMinusA, "Unexpected error during Subtract operation"}},
    };
    std::vector<std::string> positional;
    bool haveOp = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (a.rfind("--", 0) != 0) {
            positional.push_back(a);
            continue;
        }
        if (a != "--op" && a != "--a" && a != "--b" && a != "--to" && a != "--grid" && a != "--max-nodes") {
            return "unknown option " + a;
        }
        if (k + 1 >= args.size()) return a + " needs a value";
        const std::string& value = args[++k];
        if (a == "--op") {
            auto it = operations.find(value);
            if (it == operations.end()) return "unknown operation " + value + " (known: or, and, xor, a-b, b-a)";
            request.operation = it->second.operation;
            request.errorText = it->second.errorText;
            haveOp = true;
        } else if (a == "--grid") {
            if (!ParseNumber(value, 0, 1000000, request.grid)) return "--grid needs a whole number of nm >= 0, not " + value;
        } else if (a == "--max-nodes") {
            if (!ParseNumber(value, 16, 32768, request.maxPolyNodes)) return "--max-nodes needs 16..32768, not " + value;
        } else {
            int& layer = a == "--a" ? request.layerA : a == "--b" ? request.layerB : request.target;
            if (!ParseNumber(value, 0, kLayerCount - 1, layer)) return a + " needs a layer index 0..255, not " + value;
        }
    }
    if (positional.size() != 2) return "boolean needs an input and an output file";
    request.in = positional[0];
    request.out = positional[1];
    if (!haveOp) return "boolean needs --op";
    if (request.layerA < 0) return "boolean needs --a LAYER";
    if (request.target < 0) return "boolean needs --to LAYER";
    return {};
}

bool RunBoolean(Layout& layout, const BooleanRequest& request) {
    SymbolDescription* main = layout.MainSymbol();
    platform::Progress().SetProgress(0);
    std::vector<std::vector<Point>> results;
    try {
        Bool_Engine engine;
        ConfigureBooleanEngine(engine, request.grid);
        Feeder feeder(layout, engine, request.layerA, request.layerB);
        feeder.Feed(*main, TransformMatrix{});
        platform::Progress().SetProgress(10);
        engine.Execute(request.operation);
        platform::Progress().SetProgress(70);
        PolygonStoreOptions options;
        options.polygonGrid = request.grid;
        options.maxPolyNodes = request.maxPolyNodes;
        StoreResultContours(engine, options, [&](const std::vector<Point>& p) { results.push_back(p); });
    } catch (const Bool_Engine_Error&) {
        platform::Progress().SetProgress(100);
        platform::ShowError(request.errorText);
        return false;
    }
    platform::Progress().SetProgress(90);
    if (!layout.Layer(request.target)) {
        layout.SetLayer(std::make_unique<LayerDescription>(request.target, ""));
    }
    for (const auto& polygon : results) {
        main->AddPolygon(polygon.data(), static_cast<int>(polygon.size()), request.target);
    }
    platform::Progress().SetProgress(100);
    return true;
}

}  // namespace zandor::cli
