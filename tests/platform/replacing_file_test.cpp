// The one file writer every writer uses: the target is replaced only by a
// complete file, never through a directory or device, and a failure leaves the
// old file and no temporary file behind.
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/ReplacingFile.h"

using namespace zandor;
using platform::ReplacingFile;
using Failure = platform::ReplacingFile::Failure;
namespace fs = std::filesystem;

namespace {

class ReplacingFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zandor-replacing-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Path(const std::string& name) const { return (dir / name).string(); }
    std::string Put(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
        return Path(name);
    }
    static std::string Contents(const std::string& path) {
        std::ostringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }
    // Every entry of a folder (links not followed), sorted.
    static std::vector<std::string> Entries(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
};

// Makes writes beyond a size fail, as a full disk does, for its lifetime.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : handler(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        small.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    struct rlimit old {};
    void (*handler)(int);
};

TEST_F(ReplacingFileTest, ReplacesTheTargetWithEverythingPutAndKeepsItsMode) {
    const std::string path = Put("out.txt", "old");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    // Small pieces, text formatted in place and blocks larger than the buffer.
    std::string expected;
    ReplacingFile file;
    ASSERT_TRUE(file.Open(path));
    for (int k = 0; k < 1000; ++k) {
        file.Put("ab", 2);
        file.Put('c');
        expected += "abc";
    }
    char* room = file.Room(5);
    std::copy_n("12345", 5, room);
    file.Advance(3);
    expected += "123";
    const std::string big(3u << 20, 'x');
    file.Put(big);
    expected += big;
    file.Put(std::string_view("tail"));
    expected += "tail";
    EXPECT_EQ(file.Size(), expected.size());
    EXPECT_EQ(Contents(path), "old") << "nothing replaced before the commit";
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(file.Failed(), Failure::None);
    EXPECT_EQ(Contents(path), expected);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"out.txt"}) << "no temporary file is left";

    // A new file gets the mode the process gives new files.
    const mode_t mask = ::umask(022);
    ASSERT_TRUE(platform::ReplaceFileWith(Path("new.txt"), "new"));
    ::umask(mask);
    ASSERT_EQ(::stat(Path("new.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    EXPECT_EQ(Contents(Path("new.txt")), "new");
}

TEST_F(ReplacingFileTest, RefusesTargetsThatAreNoRegularFile) {
    fs::create_directory(dir / "folder");
    std::ofstream(dir / "folder" / "inside") << "kept";
    ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
    for (const char* name : {"folder", "pipe"}) {
        SCOPED_TRACE(name);
        ReplacingFile::Failure failure = Failure::None;
        EXPECT_FALSE(platform::ReplaceFileWith(Path(name), "bytes", &failure));
        EXPECT_EQ(failure, Failure::NotRegularFile);
    }
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_EQ(Contents((dir / "folder" / "inside").string()), "kept");
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
    EXPECT_EQ(Entries(dir), (std::vector<std::string>{"folder", "pipe"})) << "no temporary file is left";

    ReplacingFile::Failure failure = Failure::None;
    EXPECT_FALSE(platform::ReplaceFileWith(Path("no/such/folder/x"), "bytes", &failure));
    EXPECT_EQ(failure, Failure::CannotCreate);
}

TEST_F(ReplacingFileTest, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    const std::string path = Put("out.bin", "good old contents");
    {
        FileSizeLimit limit(4096);
        ReplacingFile file;
        ASSERT_TRUE(file.Open(path));
        file.Put(std::string(3u << 20, 'x'));
        EXPECT_FALSE(file.Commit());
        EXPECT_EQ(file.Failed(), Failure::WriteFailed);
    }
    EXPECT_EQ(Contents(path), "good old contents");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"out.bin"});

    // An unfinished file is discarded, by Discard or by the destructor.
    {
        ReplacingFile file;
        ASSERT_TRUE(file.Open(path));
        file.Put("never committed");
        EXPECT_EQ(Entries(dir).size(), 2u) << "the temporary file lies beside the target";
    }
    ReplacingFile file;
    ASSERT_TRUE(file.Open(path));
    file.Put("discarded");
    file.Discard();
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(Contents(path), "good old contents");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"out.bin"});
}

TEST_F(ReplacingFileTest, WritingThroughASymbolicLinkReplacesTheFileItPointsTo) {
    fs::create_directory(dir / "real");
    const std::string target = Put("real/data.txt", "old");
    struct Case {
        const char* link;
        fs::path pointsTo;
    };
    const Case cases[] = {
        {"relative", "real/data.txt"}, {"absolute", fs::path(target)}, {"chain", "relative"},  // a link to a link
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        fs::create_symlink(c.pointsTo, dir / c.link);
        ASSERT_TRUE(platform::ReplaceFileWith(Path(c.link), c.link));
        EXPECT_TRUE(fs::is_symlink(dir / c.link)) << "the link stays a link";
        EXPECT_EQ(Contents(target), c.link);
    }
    // A link whose file does not exist yet gets that file.
    fs::create_symlink("real/later.txt", dir / "dangling");
    ASSERT_TRUE(platform::ReplaceFileWith(Path("dangling"), "created"));
    EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
    EXPECT_EQ(Contents(Path("real/later.txt")), "created");
    // A loop of links is no file.
    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    EXPECT_FALSE(platform::ReplaceFileWith(Path("loop-a"), "x"));
    EXPECT_TRUE(fs::is_symlink(dir / "loop-a"));
    EXPECT_EQ(Entries(dir / "real"), (std::vector<std::string>{"data.txt", "later.txt"}));
    EXPECT_EQ(Entries(dir),
              (std::vector<std::string>{"absolute", "chain", "dangling", "loop-a", "loop-b", "real", "relative"}));
}

}  // namespace
