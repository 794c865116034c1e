// Output of a writer that replaces its target only when complete: the bytes go
// through a large buffer into a temporary file beside the target, which is
// renamed over it at the end.  A failed write leaves the old file as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zandor {

class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile();  // discards an unfinished file
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file; false when it cannot be made.  Writing
    // through a symbolic link replaces the file it points to.
    bool Open(const std::string& target);
    void Put(const void* data, std::size_t n);
    void Put(std::string_view text) { Put(text.data(), text.size()); }
    // Bytes put so far.
    std::uint64_t Size() const { return written + used; }
    // Writes the rest, syncs and renames the file over the target; false (and
    // nothing replaced) when any write failed.
    bool Commit();

private:
    void Flush();
    void Discard();

    int fd = -1;
    std::string target;
    std::string tempName;
    std::unique_ptr<char[]> buffer;
    std::size_t used = 0;
    std::uint64_t written = 0;
    bool failed = false;
};

}  // namespace zandor
