// The one way files are written: a file that replaces its target only when
// complete.  The bytes go through a large buffer into a temporary file in the
// target's directory, which is synced and renamed over the target, and the
// directory is synced after the rename.  A failure at any step leaves the old
// file as it was and removes the temporary file.  Writing through a symbolic
// link replaces the file it points to; a target that exists must be a regular
// file (a directory or a device is refused) that the user may write.  The new
// file keeps the old one's mode (and owner, where allowed).
//
// Two targets are written in place instead: one with further hard links, which
// a rename would cut off (the complete temporary file is copied into it, and
// kept if that copy fails), and one in a folder that allows no temporary file
// but whose file may be written (InPlace tells the caller, who should warn:
// a failure then can leave the file damaged).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace zandor::platform {

class ReplacingFile {
public:
    enum class Failure {
        None,
        NotRegularFile,  // the target exists and is a directory, a device, ...
        NotWritable,     // the target exists and the user may not write it
        CannotCreate,    // no temporary file could be made (no folder, no permission)
        WriteFailed,     // a write or the sync failed (a full disk)
        CannotReplace,   // the rename over the target failed
    };

    ReplacingFile() = default;
    ~ReplacingFile();  // discards an unfinished file
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file for the target; false (see Failed) when the
    // target is no regular file or the temporary file cannot be made.
    bool Open(const std::string& target);
    void Put(const void* data, std::size_t n) {
        if (n - 1 < capacity - used) {  // also false for n == 0
            std::memcpy(buffer.get() + used, data, n);
            used += n;
        } else {
            PutLarge(data, n);
        }
    }
    void Put(std::string_view text) { Put(text.data(), text.size()); }
    void Put(char c) { *Room(1) = c, ++used; }
    // Formatting in place: room for n bytes (at most 64 KiB) at the place
    // returned, of which Advance keeps the ones written.
    char* Room(std::size_t n) {
        if (capacity - used < n) Flush();
        return buffer.get() + used;
    }
    void Advance(std::size_t n) { used += n; }
    // Bytes put so far.
    std::uint64_t Size() const { return written + used; }
    // Writes the rest, syncs and renames the file over the target; false (and
    // the target untouched) when any step failed.
    bool Commit();
    // Removes the temporary file; the target stays as it was.
    void Discard();

    Failure Failed() const { return failure; }
    // The file was written straight into the target because its folder allows
    // no temporary file.
    bool InPlace() const { return direct; }
    // After a failed copy into a hard-linked target: the complete file,
    // kept for the user.
    const std::string& KeptCopy() const { return kept; }
    // The file that is replaced: the target with symbolic links followed.
    const std::string& Target() const { return target; }

private:
    void PutLarge(const void* data, std::size_t n);
    void Flush();
    void WriteAll(const char* data, std::size_t n);
    bool CopyIntoTarget();

    int fd = -1;
    std::string target;
    std::string tempName;
    std::string kept;
    bool direct = false;  // writing into the target itself
    bool linked = false;  // the target has further hard links
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;
    std::size_t used = 0;
    std::uint64_t written = 0;
    Failure failure = Failure::None;
};

// What writers say about the way a file was written.
inline constexpr std::string_view kWrittenInPlaceWarning =
    "The folder of this file allows no temporary file,\nso the file was overwritten in place.";
// The failure text followed, after a failed copy into a hard-linked file, by
// where the complete file was kept.
inline std::string SaveFailedText(std::string_view failure, const ReplacingFile& file) {
    std::string text(failure);
    if (!file.KeptCopy().empty()) text += "\nThe complete file was kept as " + file.KeptCopy();
    return text;
}
// The target is refused before anything is written: a folder, a device or a
// read-only file.
inline bool RefusedTarget(const ReplacingFile& file) {
    return file.Failed() == ReplacingFile::Failure::NotRegularFile ||
           file.Failed() == ReplacingFile::Failure::NotWritable;
}

// Replaces the file name by one holding bytes, as ReplacingFile does; the
// failure, if any, in failure.
bool ReplaceFileWith(const std::string& name, std::string_view bytes, ReplacingFile::Failure* failure = nullptr);

}  // namespace zandor::platform
