#include "imaging/byte_source.h"

#include "imaging/picture_limits.h"
#include "platform/errors.h"
#include "platform/file_measure.h"
#include "platform/path_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere {

namespace {

[[noreturn]] void raiseOpenError(const std::string &path, const char *reason)
{
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(ShownPath(path), QString::fromUtf8(reason)));
}

} // namespace

std::uint64_t ByteSource::skip(std::uint64_t count)
{
    char scratch[4096];
    std::uint64_t skipped = 0;
    while (skipped < count) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof scratch, count - skipped));
        const std::size_t got = read(scratch, chunk);
        skipped += got;
        if (got < chunk) {
            break;
        }
    }
    return skipped;
}

std::uint64_t MemorySource::skip(std::uint64_t count)
{
    const std::uint64_t n = std::min<std::uint64_t>(count, size_ - position_);
    position_ += static_cast<std::size_t>(n);
    return n;
}

std::size_t RecordingSource::read(void *buffer, std::size_t count)
{
    const std::size_t got = source_.read(buffer, count);
    const auto *bytes = static_cast<const std::uint8_t *>(buffer);
    record_.insert(record_.end(), bytes, bytes + got);
    return got;
}

std::size_t MemorySource::read(void *buffer, std::size_t count)
{
    const std::size_t n = std::min(count, size_ - position_);
    if (n > 0) {
        std::memcpy(buffer, data_ + position_, n);
        position_ += n;
    }
    return n;
}

FileSource::FileSource(const std::string &path)
{
    // Opened like every found file: never blocking on a FIFO, never through
    // a symbolic link, and only a regular file.
    struct stat info {};
    fd_.reset(OpenFoundFile(path, info));
    if (!fd_.valid()) {
        raiseOpenError(path, errno == ELOOP || errno == ENODEV ? "Not a regular file" : std::strerror(errno));
    }
    length_ = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

std::size_t FileSource::read(void *buffer, std::size_t count)
{
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(count, length_ - position_));
    std::size_t done = 0;
    while (done < wanted) {
        // At this source's own position: a held file's second descriptor
        // shares its read position with the first.
        const ssize_t got = ::pread(fd_.get(), static_cast<char *>(buffer) + done, wanted - done,
                                    static_cast<off_t>(position_ + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            // A read error or a file that shrank: the data ends here.
            length_ = position_ + done;
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    position_ += done;
    return done;
}

std::vector<std::uint8_t> readWholeFile(const std::string &path)
{
    FileSource file(path);
    if (file.length() > kMaxPictureFileBytes) {
        throw EReadError(QStringLiteral("File is too large to load as a picture: \"%1\"").arg(ShownPath(path)));
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.length()));
    bytes.resize(file.read(bytes.data(), bytes.size()));
    return bytes;
}

} // namespace quillmere
