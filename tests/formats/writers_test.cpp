// Every writer replaces its file the same way: never a directory, through a
// symbolic link into the file it points to, and after a failed write the old
// file is still there and no temporary file is left.
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "formats/AllFormats.h"
#include "formats/cif/SaveCifFile.h"
#include "formats/emk/ExportEmkFile.h"
#include "formats/gds/SaveGdsFile.h"
#include "formats/gerber/ExportGbrFile.h"
#include "formats/mann/ExportManFile.h"
#include "model/Layout.h"
#include "platform/ReplacingFile.h"
#include "platform/headless/RecordingMessages.h"
#include "support/ScratchTest.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;
namespace fs = std::filesystem;

namespace {

struct Writer {
    const char* what;
    const char* extension;
    std::function<bool(Layout&, const std::string&)> write;
};

// Flash files in units of 1 nm, so that the test's small rectangles need no
// enlargement (which would warn).
MannOptions NanometreMann() {
    MannOptions o;
    ApplyMannSystem(o, false, true);
    o.resolution = o.minFlash = 0.000001;
    return o;
}

EmkOptions NanometreEmk() {
    EmkOptions o;
    o.unit = o.minFlash = 0.001;
    return o;
}

// Millimetres with six decimals: the test's small rectangles fit the format.
GerberOptions NanometreGerber() {
    GerberOptions o;
    o.millimetres = true;
    o.decimals = 6;
    return o;
}

const std::vector<Writer>& AllWriters() {
    static const std::vector<Writer> writers = {
        {"CIF", ".cif", [](Layout& l, const std::string& name) { return SaveCifFile(l, name).Write(); }},
        {"CIF layer", ".cif", [](Layout& l, const std::string& name) { return SaveCifFile(l, name).Write(1); }},
        {"GDSII", ".gds", [](Layout& l, const std::string& name) { return SaveGdsFile(l, name).Write(); }},
        {"layer map", ".map", [](Layout& l, const std::string& name) { return l.WriteLayerMap(name); }},
        {"Mann", ".man",
         [](Layout& l, const std::string& name) { return ExportManFile(l, name, 1, NanometreMann()).Write(); }},
        {"EMK", ".emk",
         [](Layout& l, const std::string& name) { return ExportEmkFile(l, name, 1, NanometreEmk()).Write(); }},
        {"Gerber", ".gbr",
         [](Layout& l, const std::string& name) { return ExportGbrFile(l, name, 1, NanometreGerber()).Write(); }},
    };
    return writers;
}

class Writers : public test::ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        layout.Clear();
        layout.SetLayer(std::make_unique<LayerDescription>(1, "one"));
        for (int k = 0; k < 100; ++k) layout.MainSymbol()->AddRectangle(k, 0, k + 10, 7, 1);
    }
    std::vector<std::string> Entries(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // The stream file and the layer map written beside it.
    static std::vector<std::string> Written(const Writer& w, const std::string& base) {
        std::vector<std::string> names = {base + w.extension};
        if (std::string(w.extension) == ".gds") names.push_back(base + ".map");
        std::sort(names.begin(), names.end());
        return names;
    }

    Layout layout;
};

TEST_F(Writers, ADirectoryIsRefusedWithAMessage) {
    for (const Writer& w : AllWriters()) {
        SCOPED_TRACE(w.what);
        const fs::path folder = dir / (std::string("folder") + w.extension);
        fs::create_directories(folder / "inside");
        ScopedMessageCapture messages;
        EXPECT_FALSE(w.write(layout, folder.string()));
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Unable to save file!", "Error"}}));
        EXPECT_EQ(Entries(folder), std::vector<std::string>{"inside"});
        fs::remove_all(folder);
        EXPECT_TRUE(Entries(dir).empty()) << "no temporary file is left";
    }
}

TEST_F(Writers, WritingThroughASymbolicLinkReplacesTheFileItPointsTo) {
    fs::create_directory(dir / "real");
    for (const Writer& w : AllWriters()) {
        SCOPED_TRACE(w.what);
        const std::string target = WriteFile(std::string("real/target") + w.extension, "old");
        const fs::path link = dir / (std::string("link") + w.extension);
        fs::create_symlink(fs::path("real") / (std::string("target") + w.extension), link);
        ScopedMessageCapture messages;
        ASSERT_TRUE(w.write(layout, link.string()));
        EXPECT_TRUE(messages.messages.empty());
        EXPECT_TRUE(fs::is_symlink(link)) << "the link stays";
        EXPECT_NE(ReadFile(target), "old");
        EXPECT_EQ(ReadFile(target), ReadFile(link.string()));
        EXPECT_EQ(Entries(dir / "real"), std::vector<std::string>{std::string("target") + w.extension});
        fs::remove(target);
        fs::remove(link);
        if (std::string(w.extension) == ".gds") fs::remove(dir / "link.map");
    }
}

TEST_F(Writers, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    for (const Writer& w : AllWriters()) {
        SCOPED_TRACE(w.what);
        const std::string path = WriteFile(std::string("kept") + w.extension, "good old file");
        if (std::string(w.extension) == ".gds") WriteFile("kept.map", "good old map");
        bool written;
        {
            ScopedMessageCapture messages;
            // Writes beyond 16 bytes fail, as on a full disk.
            struct rlimit old {};
            ::getrlimit(RLIMIT_FSIZE, &old);
            const auto handler = std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit small = old;
            small.rlim_cur = 16;
            ::setrlimit(RLIMIT_FSIZE, &small);
            written = w.write(layout, path);
            ::setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, handler);
            EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Unable to save file!", "Error"}}));
        }
        EXPECT_FALSE(written);
        EXPECT_EQ(ReadFile(path), "good old file");
        if (std::string(w.extension) == ".gds") {
            EXPECT_EQ(ReadFile(Path("kept.map")), "good old map");
        }
        EXPECT_EQ(Entries(dir), Written(w, "kept"));
        for (const std::string& name : Written(w, "kept")) fs::remove(dir / name);
    }
}

// Runs body as a user who cannot step past permissions: as root, in a child
// process that takes the ids of "nobody".  The child reports through its exit
// status only.
bool AsOrdinaryUser(const std::function<bool()>& body) {
    if (::geteuid() != 0) return body();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(Writers, AReadOnlyFileIsRefusedAndKept) {
    for (const Writer& w : AllWriters()) {
        SCOPED_TRACE(w.what);
        const std::string path = WriteFile(std::string("locked") + w.extension, "old");
        fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        ScopedMessageCapture messages;
        EXPECT_FALSE(w.write(layout, path));
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Unable to save file!", "Error"}}));
        EXPECT_EQ(ReadFile(path), "old");
        EXPECT_EQ(Entries(dir), std::vector<std::string>{std::string("locked") + w.extension});
        fs::permissions(path, fs::perms::owner_all);
        fs::remove(path);
    }
}

TEST_F(Writers, TheNewFileKeepsTheModeAndTheHardLinksOfTheOld) {
    for (const Writer& w : AllWriters()) {
        SCOPED_TRACE(w.what);
        const std::string path = WriteFile(std::string("shared") + w.extension, "old");
        const fs::path other = dir / (std::string("other") + w.extension);
        fs::create_hard_link(path, other);
        ::chmod(path.c_str(), 0640);
        ScopedMessageCapture messages;
        ASSERT_TRUE(w.write(layout, path));
        EXPECT_TRUE(messages.messages.empty());
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0640u);
        EXPECT_EQ(info.st_nlink, 2u) << "both names still name one file";
        EXPECT_NE(ReadFile(path), "old");
        EXPECT_EQ(ReadFile(other.string()), ReadFile(path));
        std::vector<std::string> expected = Written(w, "shared");
        expected.push_back(other.filename().string());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Entries(dir), expected) << "no temporary file is left";
        for (const std::string& name : Entries(dir)) fs::remove(dir / name);
    }
}

TEST_F(Writers, AFolderWithoutRoomForATemporaryFileIsWrittenInPlaceWithAWarning) {
    const fs::path folder = dir / "closed";
    fs::create_directory(folder);
    fs::permissions(dir, fs::perms::all);
    for (const Writer& w : AllWriters()) {
        SCOPED_TRACE(w.what);
        std::vector<std::string> names = Written(w, "kept");
        for (const std::string& name : names) {
            std::ofstream(folder / name) << "old";
            fs::permissions(folder / name, fs::perms::all);
        }
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
        const std::string path = (folder / names.front()).string();
        const bool warns = std::string(w.what) != "layer map";
        EXPECT_TRUE(AsOrdinaryUser([&] {
            ScopedMessageCapture messages;
            const std::vector<RecordedMessage> expected =
                warns ? std::vector<RecordedMessage>{{std::string(platform::kWrittenInPlaceWarning), "Warning"}}
                      : std::vector<RecordedMessage>{};
            return w.write(layout, path) && messages.messages == expected;
        }));
        const std::string target = (folder / (std::string("kept") + w.extension)).string();
        EXPECT_NE(ReadFile(target), "old");
        EXPECT_GT(ReadFile(target).size(), 3u);
        EXPECT_EQ(Entries(folder), names) << "nothing else was created";
        fs::permissions(folder, fs::perms::owner_all);
        for (const std::string& name : names) fs::remove(folder / name);
    }
}

TEST_F(Writers, SaveTakesTheOptionsGivenAndLeavesTheRememberedOnes) {
    RegisterFileFormats();
    layout.AddSymbol(1, "leaf")->AddRectangle(0, 0, 5, 5, 1);
    layout.MainSymbol()->InsertSymbolCall(1, 0, 0);
    Settings().saveOptions = {};
    SaveOptions flatten;
    flatten.flatten = true;
    // An export: written, but not the document's file.
    EXPECT_FALSE(layout.Save(Path("flat.cif"), FileCif, flatten));
    EXPECT_TRUE(layout.lastSaveWroteFile);
    EXPECT_EQ(ReadFile(Path("flat.cif")).find("9 leaf;"), std::string::npos) << "flattened";
    EXPECT_FALSE(Settings().saveOptions.flatten) << "the remembered options are not touched";

    Settings().saveOptions = flatten;
    EXPECT_TRUE(layout.Save(Path("whole.cif"), FileCif, SaveOptions{}));
    EXPECT_NE(ReadFile(Path("whole.cif")).find("9 leaf;"), std::string::npos)
        << "the options given, not the remembered";
    EXPECT_TRUE(Settings().saveOptions.flatten);
    EXPECT_EQ(layout.fileName, Path("whole.cif"));

    // A layer export takes its options the same way.
    EXPECT_TRUE(layout.ExportLayer(1, Path("layer.cif"), ExportCif, flatten));
    EXPECT_EQ(ReadFile(Path("layer.cif")).find("9 leaf;"), std::string::npos);
}

}  // namespace
