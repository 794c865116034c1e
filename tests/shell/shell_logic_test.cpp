// The editor's logic that needs no window: stored apertures and the plot
// output sections, wheel notches, file names, the private socket directory
// and the hand-over of files to a running editor, and the types the save-as
// dialog offers.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "formats/AllFormats.h"
#include "formats/drill/DrillOptions.h"
#include "formats/gerber/GerberOptions.h"
#include "model/Layout.h"
#include "shell/FileNames.h"
#include "shell/ShellServices.h"
#include "shell/ShellSettings.h"
#include "shell/SingleInstance.h"
#include "shell/WheelSteps.h"

using namespace zandor;

namespace {

TEST(StoredAperture, ParsesAsTheCConversionsDo) {
    struct Case {
        const char* text;
        bool parsed;
        std::int64_t nanometres, mils;
        bool square;
    };
    const Case cases[] = {
        {"100,200,S", true, 100, 200, true}, {"250000,10,C", true, 250000, 10, false},
        {"5,6,R", true, 5, 6, false},        {"5,6,s", true, 5, 6, false},
        {"5,6,", true, 5, 6, false},         {" 7, 8,S", true, 7, 8, true},
        {"7,8, S", true, 7, 8, false},  // the character right after the comma decides
        {"x,y,S", true, 0, 0, true},         {"-3,4,S", true, -3, 4, true},
        {"*", false, 0, 0, false},           {"", false, 0, 0, false},
        {"100", false, 0, 0, false},         {"100,200", false, 0, 0, false},
    };
    const GerberAperture untouched{99060, 39, true};
    for (const Case& c : cases) {
        GerberAperture a = untouched;
        EXPECT_EQ(ParseGerberAperture(c.text, a), c.parsed) << c.text;
        if (!c.parsed) {
            EXPECT_EQ(a, untouched) << c.text << ": a value that does not parse leaves the entry alone";
            continue;
        }
        EXPECT_EQ(a.nanometres, c.nanometres) << c.text;
        EXPECT_EQ(a.mils, c.mils) << c.text;
        EXPECT_EQ(a.square, c.square) << c.text;
    }
    EXPECT_EQ(FormatGerberAperture({1234567, 49, true}), "1234567,49,S");
    EXPECT_EQ(FormatGerberAperture({10160, 4, false}), "10160,4,C");
    EXPECT_EQ(FormatGerberAperture({}), "0,0,C");
    for (const GerberAperture& a : {GerberAperture{1, 2, true}, GerberAperture{99060, 39, false}}) {
        GerberAperture back;
        EXPECT_TRUE(ParseGerberAperture(FormatGerberAperture(a), back));
        EXPECT_EQ(back, a);
    }
}

// The "Gbr" and "Tap" sections: values the writers could not use keep their
// defaults, the others are taken as stored.
TEST(PlotSettings, ReadAsStoredOrKeptAtTheirDefaults) {
    struct Case {
        const char* section;
        GerberOptions gerber;
        DrillOptions drill;
    };
    const auto gerber = [](int integers, int decimals, bool mm, char block, char delimiter, GerberFill fill) {
        GerberOptions g;
        g.integers = integers;
        g.decimals = decimals;
        g.millimetres = mm;
        g.endOfBlock = block;
        g.parameterDelimiter = delimiter;
        g.fill = fill;
        return g;
    };
    const GerberOptions defaults;
    const Case cases[] = {
        {"", defaults, {}},
        {"[Gbr]\nIntegers=2\nDecimals=6\nUnits=mm\nEndOfBlock=$\nParDelim=!\nPolygons=1\n"
         "[Tap]\nIntegers=3\nDecimals=3\nUnits=MM\n",
         gerber(2, 6, true, '$', '!', GerberFill::Never),
         {3, 3, true}},
        {"[Gbr]\nUnits=Metric\nPolygons=0\n[Tap]\nUnits=inch\n", gerber(3, 4, true, '*', '%', GerberFill::Always), {}},
        // Seven decimals would make the unit smaller than a nanometre.
        {"[Gbr]\nIntegers=0\nDecimals=7\nPolygons=3\n[Tap]\nIntegers=10\nDecimals=-1\n", defaults, {}},
        {"[Gbr]\nIntegers=x\nDecimals=\nPolygons=-1\n", defaults, {}},
        // Block characters that a coordinate or a number holds, or one
        // character for both, would make the file unreadable.
        {"[Gbr]\nEndOfBlock=X\n", defaults, {}},
        {"[Gbr]\nEndOfBlock=-\n", defaults, {}},
        {"[Gbr]\nParDelim=*\n", defaults, {}},
        {"[Gbr]\nEndOfBlock=%\nParDelim=*\n", gerber(3, 4, false, '%', '*', GerberFill::WhenNecessary), {}},
    };
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    int n = 0;
    for (const Case& c : cases) {
        const QString path = folder.path() + QString("/case%1.ini").arg(n++);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.section);
        file.close();
        QSettings ini(path, QSettings::IniFormat);
        GerberOptions g;
        g.integers = 9;  // what was there before does not matter
        g.apertures[30] = {1, 1, true};
        DrillOptions d{9, 0, true};
        ReadGerberSection(ini, g);
        ReadDrillSection(ini, d);
        EXPECT_EQ(g.integers, c.gerber.integers) << c.section;
        EXPECT_EQ(g.decimals, c.gerber.decimals) << c.section;
        EXPECT_EQ(g.millimetres, c.gerber.millimetres) << c.section;
        EXPECT_EQ(g.endOfBlock, c.gerber.endOfBlock) << c.section;
        EXPECT_EQ(g.parameterDelimiter, c.gerber.parameterDelimiter) << c.section;
        EXPECT_EQ(g.fill, c.gerber.fill) << c.section;
        EXPECT_EQ(g.apertures, GerberOptions::DefaultGerberApertures()) << c.section;
        EXPECT_EQ(d.integers, c.drill.integers) << c.section;
        EXPECT_EQ(d.decimals, c.drill.decimals) << c.section;
        EXPECT_EQ(d.millimetres, c.drill.millimetres) << c.section;
    }
}

// Written back in the stored forms, "*" for a built-in entry kept, and read
// again to the same values.
TEST(PlotSettings, WrittenInTheStoredFormsAndReadBack) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.path() + "/zandor.ini";
    GerberOptions g;
    g.integers = 2;
    g.decimals = 5;
    g.millimetres = true;
    g.endOfBlock = '#';
    g.parameterDelimiter = ';';
    g.fill = GerberFill::Never;
    g.apertures[0] = {};
    g.apertures[9] = {250000, 10, true};
    const DrillOptions d{3, 2, true};
    {
        QSettings ini(path, QSettings::IniFormat);
        WriteGerberSection(ini, g);
        WriteDrillSection(ini, d);
    }
    QSettings ini(path, QSettings::IniFormat);
    const std::pair<const char*, const char*> stored[] = {
        {"Gbr/Integers", "2"},      {"Gbr/Decimals", "5"}, {"Gbr/Units", "MM"},   {"Gbr/EndOfBlock", "#"},
        {"Gbr/ParDelim", ";"},      {"Gbr/Polygons", "1"}, {"Gbr/D10", "0,0,C"},  {"Gbr/D11", "*"},
        {"Gbr/D19", "250000,10,S"}, {"Gbr/D59", "*"},      {"Tap/Integers", "3"}, {"Tap/Decimals", "2"},
        {"Tap/Units", "MM"},
    };
    for (const auto& [key, value] : stored) EXPECT_EQ(ini.value(key).toString(), value) << key;
    GerberOptions back;
    DrillOptions drillBack;
    ReadGerberSection(ini, back);
    ReadDrillSection(ini, drillBack);
    EXPECT_EQ(back.integers, g.integers);
    EXPECT_EQ(back.decimals, g.decimals);
    EXPECT_EQ(back.millimetres, g.millimetres);
    EXPECT_EQ(back.endOfBlock, g.endOfBlock);
    EXPECT_EQ(back.parameterDelimiter, g.parameterDelimiter);
    EXPECT_EQ(back.fill, g.fill);
    EXPECT_EQ(back.apertures, g.apertures);
    EXPECT_EQ(drillBack.integers, d.integers);
    EXPECT_EQ(drillBack.decimals, d.decimals);
    EXPECT_EQ(drillBack.millimetres, d.millimetres);
}

TEST(WheelSteps, GathersWholeNotches) {
    struct Case {
        std::vector<int> deltas;
        std::vector<int> notches;
    };
    const Case cases[] = {
        {{120, -120}, {1, -1}},
        {{30, 30, 30, 30}, {0, 0, 0, 1}},
        {{30, 30, 30, 30, 30, 30, 30, 30}, {0, 0, 0, 1, 0, 0, 0, 1}},
        {{90, -30, -30, -30, -30}, {0, 0, 0, 0, -1}},  // turning back forgets the 90
        {{240}, {2}},
        {{150, 90}, {1, 1}},  // the rest of 30 stays
        {{-150, -90}, {-1, -1}},
        {{10, 0, 10}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        WheelSteps steps;
        std::vector<int> got;
        for (int d : c.deltas) got.push_back(steps.Add(d));
        EXPECT_EQ(got, c.notches) << ::testing::PrintToString(c.deltas);
    }
}

TEST(FileNames, RelativeNamesBecomeAbsoluteAgainstTheCallersDirectory) {
    struct Case {
        const char* name;
        const char* base;
        const char* expected;
    };
    const Case cases[] = {
        {"x.cif", "/masks/chip", "/masks/chip/x.cif"},
        {"./x.cif", "/masks/chip", "/masks/chip/x.cif"},
        {"sub/../x.cif", "/masks/chip", "/masks/chip/x.cif"},
        {"../x.cif", "/masks/chip", "/masks/x.cif"},
        {"/data//x.cif", "/masks", "/data/x.cif"},
        {"  x.cif ", "/w", "/w/x.cif"},
        {"\"with blank.cif\"", "/w", "/w/with blank.cif"},
        {"\"/abs/with blank.cif\"", "/w", "/abs/with blank.cif"},
        {"", "/w", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(AbsoluteFileName(c.name, c.base), c.expected) << c.name;
}

TEST(FileNames, TheSameFileUnderAnySpelling) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = QDir(dir.path()).canonicalPath();
    ASSERT_TRUE(QDir().mkpath(root + "/sub"));
    QFile file(root + "/x.cif");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QFile other(root + "/y.cif");
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    ASSERT_TRUE(QFile::link(root + "/x.cif", root + "/link.cif"));
    ASSERT_TRUE(QFile::link(root + "/sub", root + "/linkdir"));
    const QString x = root + "/x.cif";
    for (const QString& same : {x, root + "/./x.cif", root + "/sub/../x.cif", root + "//x.cif", root + "/link.cif",
                                root + "/linkdir/../x.cif"})
        EXPECT_TRUE(SameFile(x, same)) << same.toStdString();
    EXPECT_FALSE(SameFile(x, root + "/y.cif"));
    EXPECT_FALSE(SameFile(x, root + "/missing.cif"));
    EXPECT_TRUE(SameFile(root + "/gone.cif", root + "/sub/../gone.cif")) << "missing files compare by name";
}

class PrivateDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path();
    }
    QString MakeDirectory(const QString& name, mode_t mode) {
        const QString path = root + "/" + name;
        EXPECT_EQ(::mkdir(QFile::encodeName(path).constData(), 0700), 0);
        EXPECT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
        return path;
    }
    QTemporaryDir dir;
    QString root;
    const uid_t me = ::getuid();
};

TEST_F(PrivateDirectory, OnlyTheUsersOwnClosedDirectoryIsPrivate) {
    EXPECT_EQ(PrivateDirectoryProblem(MakeDirectory("closed", 0700), me), "");
    EXPECT_EQ(PrivateDirectoryProblem(MakeDirectory("readonly", 0500), me), "");
    EXPECT_NE(PrivateDirectoryProblem(root + "/closed", me + 1), "") << "another user's";
    for (const mode_t open : {0755, 0750, 0710, 0701, 0702, 0777, 01777}) {
        const QString path = MakeDirectory(QString("open%1").arg(open, 0, 8), open);
        EXPECT_NE(PrivateDirectoryProblem(path, me), "") << std::oct << open;
    }
    ASSERT_TRUE(QFile::link(root + "/closed", root + "/link"));
    EXPECT_NE(PrivateDirectoryProblem(root + "/link", me), "") << "a symbolic link, even to a private one";
    QFile file(root + "/file");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ::chmod(QFile::encodeName(root + "/file").constData(), 0700);
    EXPECT_NE(PrivateDirectoryProblem(root + "/file", me), "");
    EXPECT_NE(PrivateDirectoryProblem(root + "/missing", me), "");
}

TEST_F(PrivateDirectory, TheRuntimeDirectoryOrAFallbackOfOurOwn) {
    QString problem;
    const QString runtime = MakeDirectory("runtime", 0700);
    EXPECT_EQ(SocketDirectory(runtime, root, me, problem), runtime);
    EXPECT_EQ(problem, "");

    // No runtime directory, or one open to others: a folder of our own,
    // created closed.
    const QString fallback = root + "/zandor-" + QString::number(me);
    const QString openRuntime = MakeDirectory("open-runtime", 0755);
    for (const QString& given : {QString(), openRuntime, QString("relative/dir")}) {
        EXPECT_EQ(SocketDirectory(given, root, me, problem), fallback) << given.toStdString();
        EXPECT_EQ(problem, "");
        struct stat status {};
        ASSERT_EQ(::lstat(QFile::encodeName(fallback).constData(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0700u);
        EXPECT_EQ(status.st_uid, me);
    }

    // Someone made the fallback first, open to all, or as a link: refused.
    ASSERT_EQ(::chmod(QFile::encodeName(fallback).constData(), 0777), 0);
    EXPECT_EQ(SocketDirectory(QString(), root, me, problem), "");
    EXPECT_NE(problem, "");
    ASSERT_TRUE(QDir(fallback).removeRecursively());
    ASSERT_TRUE(QFile::link(runtime, fallback));
    EXPECT_EQ(SocketDirectory(QString(), root, me, problem), "");
    EXPECT_NE(problem, "");
    EXPECT_EQ(SocketDirectory(QString(), root + "/missing/deeper", me, problem), "");
    EXPECT_NE(problem, "");
}

TEST_F(PrivateDirectory, FilesGoToTheRunningEditorOverAClosedSocket) {
    const QString socketPath = MakeDirectory("runtime", 0700) + "/zandor-editor";
    EXPECT_FALSE(HandToRunningEditor(socketPath, {"/a.cif"})) << "no editor listens yet";

    QLocalServer server;
    QString error;
    ASSERT_TRUE(ListenForOpenRequests(server, socketPath, error)) << error.toStdString();
    struct stat status {};
    ASSERT_EQ(::lstat(QFile::encodeName(socketPath).constData(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(status.st_mode & 077, 0u) << "only the user may connect";

    const QStringList files = {"/masks/x.cif", "/masks/with blank.gds"};
    ASSERT_TRUE(HandToRunningEditor(socketPath, files));
    ASSERT_TRUE(server.waitForNewConnection(5000));
    QLocalSocket* client = server.nextPendingConnection();
    ASSERT_NE(client, nullptr);
    QByteArray received;
    while (client->state() == QLocalSocket::ConnectedState && client->waitForReadyRead(2000))
        received += client->readAll();
    received += client->readAll();
    EXPECT_EQ(QString::fromUtf8(received), "[open(\"/masks/x.cif\")]\n[open(\"/masks/with blank.gds\")]\n");
    server.close();

    // A socket that cannot be made is reported.
    QLocalServer failing;
    EXPECT_FALSE(ListenForOpenRequests(failing, root + "/missing/zandor-editor", error));
    EXPECT_NE(error, "");
    EXPECT_FALSE(ListenForOpenRequests(failing, QString(), error));
    EXPECT_NE(error, "");
}

TEST(SaveAs, OffersOnlyTypesWithAWriter) {
    RegisterFileFormats();
    const QString filter = SaveAsFilter();
    struct Type {
        FileType type;
        const char* pattern;
    };
    for (const Type& t : {Type{FileCif, "*.cif"}, Type{FileGds, "*.gds"}, Type{FileDxf, "*.dxf"},
                          Type{FileEmk, "*.emk"}, Type{FileGerber, "*.gbr"}})
        EXPECT_EQ(filter.contains(t.pattern), FindWriter(t.type) != nullptr) << t.pattern;
    EXPECT_TRUE(filter.startsWith("CIF files (*.cif)"));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
