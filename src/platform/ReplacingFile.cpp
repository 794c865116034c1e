#include "platform/ReplacingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace zandor {

namespace {
constexpr std::size_t kBufferSize = 1u << 20;
}

ReplacingFile::~ReplacingFile() { Discard(); }

bool ReplacingFile::Open(const std::string& name) {
    Discard();
    target = name;
    std::error_code ec;
    if (std::filesystem::is_symlink(name, ec)) {
        const auto resolved = std::filesystem::weakly_canonical(name, ec);
        if (!ec) target = resolved.string();
    }
    struct stat st {};
    mode_t mode;
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return false;
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    tempName = target + ".tmp-XXXXXX";
    fd = ::mkstemp(tempName.data());
    if (fd < 0) return false;
    // mkstemp makes the file private; give it the mode the target has, or the
    // one a newly created file would get.
    ::fchmod(fd, mode);
    buffer = std::make_unique<char[]>(kBufferSize);
    used = 0;
    written = 0;
    failed = false;
    return true;
}

void ReplacingFile::Put(const void* data, std::size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        if (used == kBufferSize) Flush();
        const std::size_t take = std::min(n, kBufferSize - used);
        std::memcpy(buffer.get() + used, p, take);
        used += take;
        p += take;
        n -= take;
    }
}

void ReplacingFile::Flush() {
    std::size_t done = 0;
    while (done < used && !failed) {
        const ssize_t n = ::write(fd, buffer.get() + done, used - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed = true;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    written += used;
    used = 0;
}

bool ReplacingFile::Commit() {
    if (fd < 0) return false;
    Flush();
    bool ok = !failed && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    fd = -1;
    if (!ok || ::rename(tempName.c_str(), target.c_str()) != 0) {
        ::unlink(tempName.c_str());
        tempName.clear();
        return false;
    }
    tempName.clear();
    return true;
}

void ReplacingFile::Discard() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    if (!tempName.empty()) ::unlink(tempName.c_str());
    tempName.clear();
}

}  // namespace zandor
