#include "shell/ShellSettings.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <algorithm>
#include <cctype>
#include <cstring>

#include "display/Background.h"
#include "display/Grid.h"
#include "formats/drill/DrillOptions.h"
#include "formats/flash/FlashOptions.h"
#include "formats/gerber/GerberOptions.h"
#include "model/Geometry.h"
#include "model/ModelSettings.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

constexpr int kRecentFiles = 8;

// The text of a value.  An unquoted value holding commas comes back from the
// INI parser as a list; its text is the parts joined again.
QString TextValue(QSettings& ini, QAnyStringView key, const QString& fallback) {
    const QVariant value = ini.value(key, fallback);
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(',');
    return value.toString();
}

int ReadInt(QSettings& ini, const char* key, int fallback) {
    bool ok = false;
    const int value = ini.value(key, fallback).toInt(&ok);
    return ok ? value : fallback;
}

bool ReadBool(QSettings& ini, const char* key, bool fallback) { return ReadInt(ini, key, fallback ? 1 : 0) != 0; }

// Keys stored as text: at most 30 characters, converted like a plain integer
// conversion (leading digits; "0.5" gives 0).
std::int64_t ReadDecimal(QSettings& ini, const char* key, const char* fallback) {
    const std::string text = TextValue(ini, key, fallback).left(30).toStdString();
    return std::strtoll(text.c_str(), nullptr, 10);
}

double ReadReal(QSettings& ini, const char* key, const char* fallback) {
    double value = 0;
    const QString text = TextValue(ini, key, fallback).left(30);
    if (!ParseReal(text.toStdString(), value)) ParseReal(fallback, value);
    return value;
}

std::int32_t Clamp32(std::int64_t v) { return SaturateToInt32(v); }

char FirstCharacter(QSettings& ini, const char* key, char fallback) {
    const QString text = TextValue(ini, key, QString(QChar(fallback)));
    return text.isEmpty() ? fallback : text.at(0).toLatin1();
}

}  // namespace

bool UsableGerberBlockCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F && !std::isalnum(u) && !std::strchr("+-.,", c);
}

void ReadGerberSection(QSettings& ini, GerberOptions& options) {
    GerberOptions read;
    ini.beginGroup("Gbr");
    const int integers = ReadInt(ini, "Integers", read.integers);
    if (integers >= 1 && integers <= 9) read.integers = integers;
    const int decimals = ReadInt(ini, "Decimals", read.decimals);
    if (decimals >= 0 && decimals <= 6) read.decimals = decimals;
    read.millimetres = TextValue(ini, "Units", "IN").startsWith('M', Qt::CaseInsensitive);
    const char endOfBlock = FirstCharacter(ini, "EndOfBlock", '*');
    const char delimiter = FirstCharacter(ini, "ParDelim", '%');
    // The pair is taken together: one usable character alone could equal
    // the other's default.
    if (UsableGerberBlockCharacter(endOfBlock) && UsableGerberBlockCharacter(delimiter) && endOfBlock != delimiter) {
        read.endOfBlock = endOfBlock;
        read.parameterDelimiter = delimiter;
    }
    const int fill = ReadInt(ini, "Polygons", static_cast<int>(read.fill));
    if (fill >= 0 && fill <= 2) read.fill = static_cast<GerberFill>(fill);
    for (std::size_t i = 0; i < read.apertures.size(); ++i) {
        const QString key = QString::asprintf("D%02d", static_cast<int>(i) + kGerberFirstDCode);
        ParseGerberAperture(TextValue(ini, key, "*").toStdString(), read.apertures[i]);
    }
    ini.endGroup();
    options = read;
}

void WriteGerberSection(QSettings& ini, const GerberOptions& options) {
    const GerberApertureTable builtIn = GerberOptions::DefaultGerberApertures();
    ini.beginGroup("Gbr");
    ini.setValue("Integers", QString::number(options.integers));
    ini.setValue("Decimals", QString::number(options.decimals));
    ini.setValue("Units", options.millimetres ? "MM" : "IN");
    ini.setValue("EndOfBlock", QString(QChar(options.endOfBlock)));
    ini.setValue("ParDelim", QString(QChar(options.parameterDelimiter)));
    ini.setValue("Polygons", QString::number(static_cast<int>(options.fill)));
    for (std::size_t i = 0; i < options.apertures.size(); ++i) {
        const GerberAperture& aperture = options.apertures[i];
        ini.setValue(QString::asprintf("D%02d", static_cast<int>(i) + kGerberFirstDCode),
                     aperture == builtIn[i] ? QString("*") : QString::fromStdString(FormatGerberAperture(aperture)));
    }
    ini.endGroup();
}

void ReadDrillSection(QSettings& ini, DrillOptions& options) {
    DrillOptions read;
    ini.beginGroup("Tap");
    const int integers = ReadInt(ini, "Integers", read.integers);
    if (integers >= 1 && integers <= 9) read.integers = integers;
    const int decimals = ReadInt(ini, "Decimals", read.decimals);
    if (decimals >= 0 && decimals <= 6) read.decimals = decimals;
    read.millimetres = TextValue(ini, "Units", "IN").startsWith('M', Qt::CaseInsensitive);
    ini.endGroup();
    options = read;
}

void WriteDrillSection(QSettings& ini, const DrillOptions& options) {
    ini.beginGroup("Tap");
    ini.setValue("Integers", QString::number(options.integers));
    ini.setValue("Decimals", QString::number(options.decimals));
    ini.setValue("Units", options.millimetres ? "MM" : "IN");
    ini.endGroup();
}

void ShellSettings::Read(QSettings& ini, ModelSettings& model, Grid& grid, Background& background) {
    ini.beginGroup("Settings");
    showLayerIndices = ReadBool(ini, "ShowLayerIndices", false);
    showGrid = ReadBool(ini, "ShowGrid", true);
    model.fill = ReadBool(ini, "Fill", true);
    showRulers = ReadBool(ini, "ShowRulers", true);
    showCoordinates = ReadBool(ini, "ShowCoordinates", true);
    model.showInteriors = ReadBool(ini, "ShowInteriors", true);
    model.showBorders = ReadBool(ini, "ShowBorders", true);
    model.showGroups = ReadBool(ini, "ShowGroups", false);
    model.backgroundBlack = ReadBool(ini, "BackgroundBlack", false);
    model.levels = std::clamp(ReadInt(ini, "Levels", 30), 1, 30);
    snapGuidelines = ReadBool(ini, "SnapGuidelines", true);
    snapObjects = ReadBool(ini, "SnapObjects", true);
    snapOrtho = ReadBool(ini, "SnapOrtho", true);
    singleLayer = ReadBool(ini, "SingleLayer", false);
    allNodes = ReadBool(ini, "AllNodes", true);
    model.splitLargePolygons = ReadBool(ini, "SplitLargePolygons", true);
    model.maxPolyNodes = std::clamp(ReadInt(ini, "MaxPolyNodes", 200), 16, 32768);
    model.polygonGrid = Clamp32(ReadDecimal(ini, "PolygonGrid", "1"));
    connectWiresTol = Clamp32(ReadDecimal(ini, "ConnectWiresTol", "50"));
    model.ringNumSegments = std::clamp(ReadInt(ini, "RingNumSegments", 72), 16, 512);
    model.circleNumSegments = std::clamp(ReadInt(ini, "CircleNumSegments", 72), 16, 512);
    lockSymbols = ReadBool(ini, "LockSymbols", false);
    wireThickness = std::max<std::int32_t>(1000, Clamp32(ReadDecimal(ini, "WireThickness", "100") * 1000));
    wireStyle = ReadInt(ini, "WireStyle", 0);
    if (wireStyle < 0 || wireStyle > 2) wireStyle = 0;
    textHeight = std::max<std::int32_t>(1000, Clamp32(ReadDecimal(ini, "TextHeight", "2000000")));
    textAngle = Clamp32(ReadDecimal(ini, "TextAngle", "0"));
    if (textAngle < -360000 || textAngle > 360000) textAngle = 0;
    if (ini.contains("Font0")) {
        std::int32_t words[15] = {};
        for (int i = 0; i < 15; ++i) words[i] = Clamp32(ReadDecimal(ini, ("Font" + std::to_string(i)).c_str(), "0"));
        std::memcpy(&model.textFont, words, sizeof model.textFont);
        model.textFont.lfFaceName[sizeof model.textFont.lfFaceName - 1] = '\0';
    } else {
        model.textFont = ModelSettings::DefaultTextFont();
    }
    ini.endGroup();

    ini.beginGroup("Grid");
    grid.SetSpacing(Grid::SpacingFromSetting(ReadReal(ini, "Size", "1000")));
    grid.snap = ReadBool(ini, "Snap", true);
    ini.endGroup();

    ini.beginGroup("Mask");
    background.maskType = ReadInt(ini, "Size", 3);
    background.customWidth = RoundHalfAway(ReadReal(ini, "HSize", "127000") * 1000);
    background.customHeight = RoundHalfAway(ReadReal(ini, "VSize", "127000") * 1000);
    background.waferType = ReadInt(ini, "Wafer", 2);
    background.showMask = ReadBool(ini, "ShowMask", true);
    background.showWafer = ReadBool(ini, "ShowWafer", true);
    background.showWarning = ReadBool(ini, "ShowWarning", true);
    ini.endGroup();

    ReadGerberSection(ini, GerberSettings());
    ReadDrillSection(ini, DrillSettings());

    ini.beginGroup("Mann");
    {
        // Lengths are kept in mm (metric) or inch, as the writer uses them.
        MannOptions& mann = FlashSettings().mann;
        mann.scale = ReadReal(ini, "Scale", "1.0");
        mann.metric = ReadBool(ini, "Metric", false);
        mann.singleQuadrant = ReadBool(ini, "Mann1600", true);
        mann.mirrorX = ReadBool(ini, "MirrorX", false);
        mann.minCoordinate = ReadReal(ini, "XminYmin", "0.0");
        mann.maxCoordinate = ReadReal(ini, "XmaxYmax", "4.0");
        mann.resolution = ReadReal(ini, "MinStep", "0.00025");
        mann.minFlash = ReadReal(ini, "MinFlash", "0.00025");
        mann.maxFlash = ReadReal(ini, "MaxFlash", "0.12");
        mann.flashResolution = ReadReal(ini, "FlashStep", "0.00025");
        mann.angleResolution = ReadReal(ini, "Astep", "1.0");
        mann.implicitDecimalPoint = ReadBool(ini, "ImplicitDP", true);
        mann.lineBreaks = ReadBool(ini, "UseLineBreaks", true);
        mann.blocks = ReadBool(ini, "InsertHeader", true);
    }
    ini.endGroup();

    ini.beginGroup("MRUList");
    recentFiles.clear();
    for (int i = 0; i < kRecentFiles; ++i) {
        const QString name = TextValue(ini, QString("File%1").arg(i), QString());
        if (!name.isEmpty()) recentFiles << name;
    }
    ini.endGroup();
}

void ShellSettings::Write(QSettings& ini, const ModelSettings& model, const Grid& grid,
                          const Background& background) const {
    ini.beginGroup("Settings");
    ini.setValue("ShowLayerIndices", int(showLayerIndices));
    ini.setValue("ShowGrid", int(showGrid));
    ini.setValue("Fill", int(model.fill));
    ini.setValue("ShowRulers", int(showRulers));
    ini.setValue("ShowCoordinates", int(showCoordinates));
    ini.setValue("ShowInteriors", int(model.showInteriors));
    ini.setValue("ShowBorders", int(model.showBorders));
    ini.setValue("ShowGroups", int(model.showGroups));
    ini.setValue("BackgroundBlack", int(model.backgroundBlack));
    ini.setValue("Levels", model.levels);
    ini.setValue("SnapGuidelines", int(snapGuidelines));
    ini.setValue("SnapObjects", int(snapObjects));
    ini.setValue("SnapOrtho", int(snapOrtho));
    ini.setValue("SingleLayer", int(singleLayer));
    ini.setValue("AllNodes", int(allNodes));
    ini.setValue("SplitLargePolygons", int(model.splitLargePolygons));
    ini.setValue("MaxPolyNodes", model.maxPolyNodes);
    ini.setValue("PolygonGrid", QString::number(model.polygonGrid));
    ini.setValue("ConnectWiresTol", QString::number(connectWiresTol));
    ini.setValue("RingNumSegments", model.ringNumSegments);
    ini.setValue("CircleNumSegments", model.circleNumSegments);
    ini.setValue("LockSymbols", int(lockSymbols));
    ini.setValue("WireThickness", QString::number(RoundHalfAway(wireThickness / 1000.0)));
    ini.setValue("WireStyle", wireStyle);
    ini.setValue("TextHeight", QString::number(textHeight));
    ini.setValue("TextAngle", QString::number(textAngle));
    std::int32_t words[15];
    std::memcpy(words, &model.textFont, sizeof words);
    for (int i = 0; i < 15; ++i) ini.setValue(QString("Font%1").arg(i), QString::number(words[i]));
    ini.endGroup();

    ini.beginGroup("Grid");
    ini.setValue("Size", QString::number(RoundHalfAway(grid.Spacing() / 1000.0)));
    ini.setValue("Snap", int(grid.snap));
    ini.endGroup();

    ini.beginGroup("Mask");
    ini.setValue("Size", background.maskType);
    ini.setValue("HSize", QString::number(RoundHalfAway(background.customWidth / 1000.0)));
    ini.setValue("VSize", QString::number(RoundHalfAway(background.customHeight / 1000.0)));
    ini.setValue("Wafer", background.waferType);
    ini.setValue("ShowMask", int(background.showMask));
    ini.setValue("ShowWafer", int(background.showWafer));
    ini.setValue("ShowWarning", int(background.showWarning));
    ini.endGroup();

    WriteGerberSection(ini, GerberSettings());
    WriteDrillSection(ini, DrillSettings());

    ini.beginGroup("Mann");
    {
        const MannOptions& mann = FlashSettings().mann;
        const auto number = [](double v) { return QString::fromStdString(FormatNumber(v)); };
        ini.setValue("Scale", number(mann.scale));
        ini.setValue("Metric", mann.metric ? "1" : "0");
        ini.setValue("Mann1600", mann.singleQuadrant ? "1" : "0");
        ini.setValue("MirrorX", mann.mirrorX ? "1" : "0");
        ini.setValue("XminYmin", number(mann.minCoordinate));
        ini.setValue("XmaxYmax", number(mann.maxCoordinate));
        ini.setValue("MinStep", number(mann.resolution));
        ini.setValue("MinFlash", number(mann.minFlash));
        ini.setValue("MaxFlash", number(mann.maxFlash));
        ini.setValue("FlashStep", number(mann.flashResolution));
        ini.setValue("Astep", number(mann.angleResolution));
        ini.setValue("ImplicitDP", mann.implicitDecimalPoint ? "1" : "0");
        ini.setValue("UseLineBreaks", mann.lineBreaks ? "1" : "0");
        ini.setValue("InsertHeader", mann.blocks ? "1" : "0");
    }
    ini.endGroup();

    ini.beginGroup("MRUList");
    ini.remove("");
    for (int i = 0; i < recentFiles.size() && i < kRecentFiles; ++i)
        ini.setValue(QString("File%1").arg(i), recentFiles[i]);
    ini.endGroup();
    ini.sync();
}

QString ConfigFolder() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty()) base = QDir::homePath() + "/.config";
    return base + "/Korvat/Zandor";
}

std::unique_ptr<QSettings> OpenSettingsFile() {
    const QString folder = ConfigFolder();
    const QString path = folder + "/zandor.ini";
    bool usable = QDir().mkpath(folder);
    if (usable && !QFile::exists(path)) {
        QFile file(path);
        usable = file.open(QIODevice::WriteOnly);
    }
    // A file that is not text, or that the INI parser rejects, is left
    // alone: the editor runs on the defaults and does not overwrite it.
    if (usable) {
        QFile file(path);
        usable = file.open(QIODevice::ReadOnly);
        const QByteArray bytes = usable ? file.readAll() : QByteArray();
        for (char c : bytes)
            if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\r' && c != '\t') usable = false;
    }
    std::unique_ptr<QSettings> ini;
    if (usable) {
        ini = std::make_unique<QSettings>(path, QSettings::IniFormat);
        ini->childGroups();  // parses the file
        if (ini->status() != QSettings::NoError) ini.reset();
    }
    if (!ini) platform::ShowWarning("Unable to open or create configuration file.");
    return ini;
}

WindowPlacement WindowPlacement::Read() {
    QSettings store(ConfigFolder() + "/registry.ini", QSettings::IniFormat);
    WindowPlacement placement;
    store.beginGroup("MainWindow");
    placement.geometry =
        QRect(store.value("left", 0).toInt(), store.value("top", 0).toInt(),
              std::max(200, store.value("width", 800).toInt()), std::max(150, store.value("height", 600).toInt()));
    placement.maximised = store.value("full", 0).toInt() != 0;
    store.endGroup();
    return placement;
}

void WindowPlacement::Write() const {
    QDir().mkpath(ConfigFolder());
    QSettings store(ConfigFolder() + "/registry.ini", QSettings::IniFormat);
    store.beginGroup("MainWindow");
    if (!maximised) {
        store.setValue("left", geometry.left());
        store.setValue("top", geometry.top());
        store.setValue("width", geometry.width());
        store.setValue("height", geometry.height());
    }
    store.setValue("full", maximised ? 1 : 0);
    store.endGroup();
    store.sync();
}

}  // namespace zandor
