// The editor's logic that needs no window: stored apertures, wheel notches,
// file names, the private socket directory and the hand-over of files to a
// running editor, and the types the save-as dialog offers.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "formats/AllFormats.h"
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
        bool defined;
        long a, b;
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
    for (const Case& c : cases) {
        const Aperture a = ParseAperture(c.text);
        EXPECT_EQ(a.defined, c.defined) << c.text;
        if (!c.defined) continue;
        EXPECT_EQ(a.a, c.a) << c.text;
        EXPECT_EQ(a.b, c.b) << c.text;
        EXPECT_EQ(a.square, c.square) << c.text;
    }
    EXPECT_EQ(FormatAperture({true, 1234567, 49, true}), "1234567,49,S");
    EXPECT_EQ(FormatAperture({true, 10160, 4, false}), "10160,4,C");
    EXPECT_EQ(FormatAperture({}), "*");
    for (const Aperture& a : {Aperture{true, 1, 2, true}, Aperture{true, 99060, 39, false}}) {
        const Aperture back = ParseAperture(FormatAperture(a));
        EXPECT_TRUE(back.defined && back.a == a.a && back.b == a.b && back.square == a.square);
    }
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
