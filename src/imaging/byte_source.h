#pragma once

#include "platform/unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillmere {

// A forward-only stream of bytes that knows how many bytes are left. The
// picture readers walk their input strictly in sequence through it.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to count bytes; fewer only where the data ends.
    virtual std::size_t read(void *buffer, std::size_t count) = 0;
    // Bytes from the current position to the end.
    virtual std::uint64_t remaining() const = 0;

    // Skips up to count bytes; returns how many were skipped.
    virtual std::uint64_t skip(std::uint64_t count);
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const void *data, std::size_t size)
        : data_(static_cast<const std::uint8_t *>(data))
        , size_(size)
    {
    }
    std::size_t read(void *buffer, std::size_t count) override;
    std::uint64_t remaining() const override { return size_ - position_; }
    std::uint64_t skip(std::uint64_t count) override;

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// A regular file opened for reading. Opening never blocks and never follows a
// symbolic link: a link, a FIFO, a device, a folder or a path that cannot be
// opened raises EFOpenError. The length is taken when the file is opened; a
// file that shrinks meanwhile simply ends early, one that grows is read up to
// its old length.
class FileSource final : public ByteSource {
public:
    explicit FileSource(const std::string &path);

    std::size_t read(void *buffer, std::size_t count) override;
    std::uint64_t remaining() const override { return length_ - position_; }
    std::uint64_t length() const { return length_; }
    // The open file, for readers that read at offsets of their own (pread);
    // that leaves this source's own position alone.
    int descriptor() const { return fd_.get(); }

private:
    UniqueFd fd_;
    std::uint64_t length_ = 0;
    std::uint64_t position_ = 0;
};

// Passes another source's bytes on and keeps a copy of every byte read or
// skipped through it.
class RecordingSource final : public ByteSource {
public:
    explicit RecordingSource(ByteSource &source)
        : source_(source)
    {
    }
    std::size_t read(void *buffer, std::size_t count) override;
    std::uint64_t remaining() const override { return source_.remaining(); }
    // The bytes so far; the record starts again empty.
    std::vector<std::uint8_t> take() { return std::move(record_); }

private:
    ByteSource &source_;
    std::vector<std::uint8_t> record_;
};

// Every byte of the file at path, for decoders that need the whole file in
// memory. Raises EFOpenError when the file cannot be opened, and EReadError
// when it is larger than kMaxPictureFileBytes.
std::vector<std::uint8_t> readWholeFile(const std::string &path);

} // namespace quillmere
