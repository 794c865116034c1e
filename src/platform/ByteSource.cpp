#include "platform/ByteSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <istream>
#include <sys/stat.h>
#include <unistd.h>

namespace zandor::platform {

FileSource::~FileSource() {
    if (fd >= 0) ::close(fd);
}

bool FileSource::Open(const std::string& path) {
    if (fd >= 0) ::close(fd);
    size = -1;
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            ::close(fd);
            fd = -1;
            return false;
        }
        if (S_ISREG(info.st_mode)) size = info.st_size;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

std::size_t FileSource::Read(void* buffer, std::size_t n) {
    if (fd < 0) return 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, n);
        if (got < 0 && errno == EINTR) continue;
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    }
}

std::size_t MemorySource::Read(void* buffer, std::size_t n) {
    const std::size_t take = std::min(n, bytes.size() - position);
    if (take > 0) std::memcpy(buffer, bytes.data() + position, take);
    position += take;
    return take;
}

std::size_t StreamSource::Read(void* buffer, std::size_t n) {
    if (!stream.good()) return 0;
    stream.read(static_cast<char*>(buffer), static_cast<std::streamsize>(n));
    return static_cast<std::size_t>(stream.gcount());
}

}  // namespace zandor::platform
