// The bytes a reader consumes: a file by its path, a buffer in memory or a
// stream.  Readers take any of them, so that the fuzzers and tools read from
// memory while the editor reads files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>

namespace zandor::platform {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies up to n bytes into buffer; 0 at the end.  A read error ends the
    // input as its end would.
    virtual std::size_t Read(void* buffer, std::size_t n) = 0;
    // The number of bytes the input holds, -1 when not known (a pipe, a
    // stream).
    virtual std::int64_t Size() const = 0;
};

// A file opened by its path for reading from the start.
class FileSource final : public ByteSource {
public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // False when the file cannot be opened or is a directory.
    bool Open(const std::string& path);
    std::size_t Read(void* buffer, std::size_t n) override;
    std::int64_t Size() const override { return size; }

private:
    int fd = -1;
    std::int64_t size = -1;
};

// Bytes in memory; they must outlive the source.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes(bytes) {}
    std::size_t Read(void* buffer, std::size_t n) override;
    std::int64_t Size() const override { return static_cast<std::int64_t>(bytes.size()); }

private:
    std::span<const std::uint8_t> bytes;
    std::size_t position = 0;
};

// The rest of a stream, read in binary.
class StreamSource final : public ByteSource {
public:
    explicit StreamSource(std::istream& stream) : stream(stream) {}
    std::size_t Read(void* buffer, std::size_t n) override;
    std::int64_t Size() const override { return -1; }

private:
    std::istream& stream;
};

}  // namespace zandor::platform
