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
    direct = linked = false;
    kept.clear();
    target = Resolve(name).string();
    mode_t mode = NewFileMode();
    struct stat info {};
    if (::lstat(target.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        // Still a link after following a chain as long as the system does: a loop.
        failure = Failure::NotRegularFile;
        return false;
    }
    const bool exists = ::stat(target.c_str(), &info) == 0;
    if (exists) {
        if (!S_ISREG(info.st_mode)) {
            failure = Failure::NotRegularFile;
            return false;
        }
        // A file nobody may write is read-only on purpose, also for a user
        // whom the system would let write it anyway.
        if (::access(target.c_str(), W_OK) != 0 || (info.st_mode & 0222) == 0) {
            failure = Failure::NotWritable;
            return false;
        }
        mode = info.st_mode & 07777;
        linked = info.st_nlink > 1;
    }
    tempName = target + ".tmp-XXXXXX";
    fd = ::mkstemp(tempName.data());
    if (fd < 0) {
        tempName.clear();
        if (exists && (errno == EACCES || errno == EPERM)) {
            // The folder takes no new file, but the file itself may be
            // written: write it in place rather than refuse the save.
            fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
            direct = fd >= 0;
        }
        if (fd < 0) {
            failure = Failure::CannotCreate;
            return false;
        }
    } else {
        // mkstemp makes the file private; give it the mode and owner the
        // target has, or the mode a newly created file would get.
        if (exists && (info.st_uid != ::geteuid() || info.st_gid != ::getegid())) {
            [[maybe_unused]] const int ignored = ::fchown(fd, info.st_uid, info.st_gid);
        }
        ::fchmod(fd, mode);
    }
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
    if (direct) {
        capacity = used = 0;
        return failure == Failure::None;
    }
    if (failure == Failure::None) {
        if (linked) {
            if (!CopyIntoTarget()) {
                // The target may be damaged now; the complete file stays.
                failure = Failure::CannotReplace;
                kept = tempName;
                tempName.clear();
                Discard();
                return false;
            }
            ::unlink(tempName.c_str());
            tempName.clear();
            capacity = used = 0;
            return true;
        }
        if (::rename(tempName.c_str(), target.c_str()) != 0) failure = Failure::CannotReplace;
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

// Copies the finished temporary file over the contents of the target, which
// keeps the target's inode and so every other name it has.
bool ReplacingFile::CopyIntoTarget() {
    const int from = ::open(tempName.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0) return false;
    const int to = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    bool good = to >= 0;
    while (good) {
        const ssize_t n = ::read(from, buffer.get(), kBufferSize);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            good = n == 0;
            break;
        }
        for (ssize_t done = 0; good && done < n;) {
            const ssize_t w = ::write(to, buffer.get() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            good = w > 0;
            if (good) done += w;
        }
    }
    if (good && ::fsync(to) != 0) good = false;
    if (to >= 0 && ::close(to) != 0) good = false;
    ::close(from);
    return good;
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
