#include "platform/ReplacingFile.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace zandor::platform {

namespace {

constexpr std::size_t kBufferSize = 1u << 20;
// Links followed before a chain counts as a loop, as the kernel does.
constexpr int kMaxLinks = 40;

// The file a name stands for: symbolic links followed one by one, so that a
// link whose file does not exist yet names that file.
std::filesystem::path Resolve(const std::string& name) {
    namespace fs = std::filesystem;
    fs::path path(name);
    std::error_code error;
    for (int k = 0; k < kMaxLinks && fs::is_symlink(path, error); ++k) {
        const fs::path link = fs::read_symlink(path, error);
        if (error) break;
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    return path;
}

mode_t NewFileMode() {
    // Reading the mask means setting it; writers run on one thread.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

ReplacingFile::~ReplacingFile() { Discard(); }

bool ReplacingFile::Open(const std::string& name) {
    Discard();
    failure = Failure::None;
    target = Resolve(name).string();
    mode_t mode = NewFileMode();
    struct stat info {};
    if (::lstat(target.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        // Still a link after following a chain as long as the system does: a loop.
        failure = Failure::NotRegularFile;
        return false;
    }
    if (::stat(target.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) {
            failure = Failure::NotRegularFile;
            return false;
        }
        mode = info.st_mode & 07777;
    }
    tempName = target + ".tmp-XXXXXX";
    fd = ::mkstemp(tempName.data());
    if (fd < 0) {
        tempName.clear();
        failure = Failure::CannotCreate;
        return false;
    }
    // mkstemp makes the file private; give it the mode the target has, or the
    // one a newly created file would get.
    ::fchmod(fd, mode);
    if (!buffer) buffer = std::make_unique<char[]>(kBufferSize);
    capacity = kBufferSize;
    used = 0;
    written = 0;
    return true;
}

void ReplacingFile::PutLarge(const void* data, std::size_t n) {
    if (n == 0) return;
    if (fd < 0) {
        failure = Failure::WriteFailed;
        return;
    }
    Flush();
    if (n >= capacity) {
        // Large blocks go straight to the file.
        WriteAll(static_cast<const char*>(data), n);
        written += n;
        return;
    }
    std::memcpy(buffer.get(), data, n);
    used = n;
}

void ReplacingFile::Flush() {
    WriteAll(buffer.get(), used);
    written += used;
    used = 0;
}

void ReplacingFile::WriteAll(const char* data, std::size_t n) {
    while (n > 0 && failure == Failure::None) {
        const ssize_t done = ::write(fd, data, n);
        if (done < 0) {
            if (errno == EINTR) continue;
            failure = Failure::WriteFailed;
            return;
        }
        data += done;
        n -= static_cast<std::size_t>(done);
    }
}

bool ReplacingFile::Commit() {
    if (fd < 0) {
        if (failure == Failure::None) failure = Failure::WriteFailed;
        return false;
    }
    Flush();
    if (failure == Failure::None && ::fsync(fd) != 0) failure = Failure::WriteFailed;
    if (::close(fd) != 0 && failure == Failure::None) failure = Failure::WriteFailed;
    fd = -1;
    if (failure == Failure::None && ::rename(tempName.c_str(), target.c_str()) != 0) {
        failure = Failure::CannotReplace;
    }
    if (failure != Failure::None) {
        Discard();
        return false;
    }
    tempName.clear();
    // Make the rename itself durable; the file is in place whether this works
    // or not.
    const std::filesystem::path parent = std::filesystem::path(target).parent_path();
    const int directory = ::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    return true;
}

void ReplacingFile::Discard() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    if (!tempName.empty()) ::unlink(tempName.c_str());
    tempName.clear();
    used = 0;
    capacity = 0;  // nothing more is put until the next Open
}

bool ReplaceFileWith(const std::string& name, std::string_view bytes, ReplacingFile::Failure* failure) {
    ReplacingFile file;
    const bool done = file.Open(name) && (file.Put(bytes), file.Commit());
    if (failure) *failure = file.Failed();
    return done;
}

}  // namespace zandor::platform
