#include "shell/LayerPropertiesFile.h"

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <string>

namespace zandor {

namespace {

constexpr std::uint32_t kLargestGdsNumber = 65535;

enum class Side { Number, Pattern, Name };

// One side of "layer/datatype": a number, a wildcard or range ("*", "1-5",
// "1,3"), or anything else, which makes the token a name.
Side ClassifySide(QStringView text, std::uint32_t& value) {
    if (text.isEmpty()) return Side::Name;
    bool digits = true, pattern = true;
    value = 0;
    for (QChar c : text) {
        if (c >= u'0' && c <= u'9') {
            if (value <= kLargestGdsNumber) value = value * 10 + static_cast<std::uint32_t>(c.unicode() - u'0');
        } else {
            digits = false;
            pattern = pattern && (c == u'*' || c == u'-' || c == u',');
        }
    }
    if (digits) return value <= kLargestGdsNumber ? Side::Number : Side::Pattern;
    return pattern ? Side::Pattern : Side::Name;
}

int DitherStyle(int k) {
    struct Span {
        int first, last, style;
    };
    static constexpr Span kSpans[] = {
        {0, 0, FillSolid},
        {1, 1, FillHollow},
        {2, 3, FillDiagonalCross},  // dotted
        {4, 7, FillForwardDiagonal},
        {8, 11, FillBackwardDiagonal},
        {12, 20, FillDiagonalCross},  // cross-hatched, checkerboard, bubbles, pyramids
        {21, 21, FillCross},          // plus
        {22, 22, FillHorizontal},     // minus
        {23, 23, FillForwardDiagonal},
        {24, 24, FillBackwardDiagonal},
        {25, 25, FillForwardDiagonal},
        {26, 26, FillBackwardDiagonal},
        {27, 27, FillDiagonalCross},
        {28, 29, FillHorizontal},  // zig zag, sine
        {30, 31, FillDiagonalCross},
        {32, 36, FillVertical},
        {37, 41, FillHorizontal},
        {42, 46, FillCross},  // grids
    };
    for (const Span& s : kSpans) {
        if (k >= s.first && k <= s.last) return s.style;
    }
    return FillDiagonalCross;
}

// "I<k>" as k; -1 for anything else.
int BuiltInIndex(const QString& text) {
    const QString t = text.trimmed();
    if (t.size() < 2 || t.size() > 4 || t[0] != u'I') return -1;
    bool ok = false;
    const int k = t.mid(1).toInt(&ok);
    return ok && t[1] != u'+' && t[1] != u'-' ? k : -1;
}

// The fields of one <properties> or <group-members> element as read.
struct ReadEntry {
    QString source, name, fillColor, frameColor, ditherPattern, lineStyle, visible;
};

std::optional<LayerProperties> ToLayer(const ReadEntry& read) {
    const std::optional<LayerPair> pair = ParseLayerSource(read.source);
    if (!pair) return std::nullopt;
    LayerProperties layer;
    layer.gdsLayer = pair->gdsLayer;
    layer.dataType = pair->dataType;
    layer.name = read.name.trimmed().toStdString();
    layer.fillColor = ParseLayerColor(read.fillColor);
    layer.outlineColor = ParseLayerColor(read.frameColor);
    layer.fillStyle = FillStyleOfDitherPattern(read.ditherPattern);
    layer.outlineStyle = OutlineStyleOfLineStyle(read.lineStyle);
    const QString visible = read.visible.trimmed();
    layer.visible = visible.compare(u"false", Qt::CaseInsensitive) != 0 && visible != u"0";
    return layer;
}

void Report(platform::DiagnosticSink* diagnostics, const QString& fileName, const QString& text, qint64 line = 0) {
    const std::string message = text.toStdString();
    const std::string file = fileName.toStdString();
    platform::Diagnostic d;
    d.text = message;
    d.file = file;
    d.line = line;
    if (diagnostics) {
        diagnostics->Report(d);
    } else {
        platform::ShownDiagnostics().Report(d);
    }
}

QString Invalid(const QString& fileName) {
    return QString("The file %1 is not a valid layer properties file.").arg(fileName);
}

bool ReadFrom(QXmlStreamReader& xml, const QString& fileName, std::vector<LayerProperties>& entries,
              platform::DiagnosticSink* diagnostics) {
    // Walked with explicit stacks rather than by recursion: groups nest to
    // any depth a file cares to have.
    enum class Level { Tabs, Tab, Entry };
    std::vector<Level> levels;
    std::vector<std::size_t> open;  // the entries being read, innermost last
    std::vector<ReadEntry> read;    // in the order they start
    QString wrongRoot;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement()) {
            if (!levels.empty() && levels.back() == Level::Entry) open.pop_back();
            if (!levels.empty()) levels.pop_back();
            continue;
        }
        if (!xml.isStartElement()) continue;
        const QStringView name = xml.name();
        if (levels.empty()) {
            if (name == u"layer-properties-tabs") {
                levels.push_back(Level::Tabs);
            } else if (name == u"layer-properties") {
                levels.push_back(Level::Tab);
            } else {
                wrongRoot = name.toString();
                break;
            }
            continue;
        }
        switch (levels.back()) {
            case Level::Tabs:
                if (name == u"layer-properties") {
                    levels.push_back(Level::Tab);
                } else {
                    xml.skipCurrentElement();
                }
                break;
            case Level::Tab:
            case Level::Entry:
                if ((levels.back() == Level::Tab && name == u"properties") ||
                    (levels.back() == Level::Entry && name == u"group-members")) {
                    open.push_back(read.size());
                    read.emplace_back();
                    levels.push_back(Level::Entry);
                } else if (levels.back() == Level::Tab) {
                    xml.skipCurrentElement();
                } else {
                    ReadEntry& entry = read[open.back()];
                    QString* field = name == u"source"           ? &entry.source
                                     : name == u"name"           ? &entry.name
                                     : name == u"fill-color"     ? &entry.fillColor
                                     : name == u"frame-color"    ? &entry.frameColor
                                     : name == u"dither-pattern" ? &entry.ditherPattern
                                     : name == u"line-style"     ? &entry.lineStyle
                                     : name == u"visible"        ? &entry.visible
                                                                 : nullptr;
                    if (!field) {
                        xml.skipCurrentElement();
                        break;
                    }
                    *field = xml.readElementText(QXmlStreamReader::SkipChildElements);
                }
                break;
        }
    }
    if (!wrongRoot.isEmpty()) {
        Report(diagnostics, fileName,
               Invalid(fileName) + QString("\nIts root element is <%1>, not <layer-properties>.").arg(wrongRoot),
               xml.lineNumber());
        return false;
    }
    if (xml.hasError()) {
        Report(diagnostics, fileName,
               Invalid(fileName) + QString("\nLine %1: %2").arg(xml.lineNumber()).arg(xml.errorString()),
               xml.lineNumber());
        return false;
    }
    std::vector<LayerProperties> layers;
    for (const ReadEntry& entry : read) {
        if (auto layer = ToLayer(entry)) layers.push_back(std::move(*layer));
    }
    if (layers.empty()) {
        Report(diagnostics, fileName, Invalid(fileName) + "\nIt lists no layer with a GDSII layer and datatype.");
        return false;
    }
    entries = std::move(layers);
    return true;
}

}  // namespace

std::optional<LayerPair> ParseLayerSource(const QString& text) {
    // Transformations "(...)", property selections "[...]" and hierarchy
    // levels "#..." say where a layer is shown, not which one it is.
    QString plain;
    int depth = 0;
    bool levels = false;
    for (QChar c : text) {
        if (c == u'(' || c == u'[') {
            ++depth;
        } else if ((c == u')' || c == u']') && depth > 0) {
            --depth;
        } else if (depth == 0 && c == u'#') {
            levels = true;
        } else if (depth == 0 && c.isSpace()) {
            levels = false;
        } else if (depth == 0 && !levels) {
            plain += c;
            continue;
        }
        plain += u' ';
    }
    for (const QString& token : plain.split(u' ', Qt::SkipEmptyParts)) {
        const QStringView pairText = QStringView(token).left(token.indexOf(u'@'));
        const qsizetype slash = pairText.indexOf(u'/');
        if (slash < 0) continue;  // a name, or a layout index alone
        std::uint32_t layer = 0, dataType = 0;
        const Side layerSide = ClassifySide(pairText.left(slash), layer);
        const Side typeSide = ClassifySide(pairText.mid(slash + 1), dataType);
        if (layerSide == Side::Number && typeSide == Side::Number) return LayerPair{static_cast<int>(layer), dataType};
        if (layerSide != Side::Name && typeSide != Side::Name) return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> ParseLayerColor(const QString& text) {
    const QString t = text.trimmed();
    if (!t.startsWith(u'#') || (t.size() != 7 && t.size() != 9)) return std::nullopt;
    std::uint32_t argb = 0;
    for (QChar c : QStringView(t).mid(1)) {
        const int digit = QStringLiteral("0123456789abcdef").indexOf(c.toLower());
        if (digit < 0) return std::nullopt;
        argb = argb << 4 | static_cast<std::uint32_t>(digit);
    }
    const std::uint32_t red = (argb >> 16) & 0xFF, green = (argb >> 8) & 0xFF, blue = argb & 0xFF;
    return red | green << 8 | blue << 16;
}

int FillStyleOfDitherPattern(const QString& text) {
    if (text.trimmed().isEmpty()) return FillSolid;
    const int k = BuiltInIndex(text);
    return k < 0 ? FillDiagonalCross : DitherStyle(k);
}

int OutlineStyleOfLineStyle(const QString& text) {
    static constexpr int kStyles[] = {OutlineSolid, OutlineDot,     OutlineDash, OutlineDashDot,
                                      OutlineDash,  OutlineDashDot, OutlineDash, OutlineDashDotDot};
    const int k = BuiltInIndex(text);
    return k >= 0 && k < 8 ? kStyles[k] : OutlineSolid;
}

bool IsLayerPropertiesFile(const QString& path) {
    if (QFileInfo(path).suffix().compare(u"lyp", Qt::CaseInsensitive) == 0) return true;
    if (!QFileInfo(path).isFile()) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QByteArray head = file.read(256);
    if (head.startsWith("\xEF\xBB\xBF")) head.remove(0, 3);
    head = head.trimmed();
    return head.startsWith("<?xml") || head.startsWith("<layer-properties");
}

bool ReadLayerPropertiesFile(const QString& path, std::vector<LayerProperties>& entries,
                             platform::DiagnosticSink* diagnostics) {
    // Only a regular file: a pipe or a device could keep the read waiting.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        Report(diagnostics, path, QString("The file %1 cannot be read.").arg(path));
        return false;
    }
    QXmlStreamReader xml(&file);
    return ReadFrom(xml, path, entries, diagnostics);
}

bool ReadLayerProperties(const QByteArray& bytes, const QString& fileName, std::vector<LayerProperties>& entries,
                         platform::DiagnosticSink* diagnostics) {
    QXmlStreamReader xml(bytes);
    return ReadFrom(xml, fileName, entries, diagnostics);
}

}  // namespace zandor
