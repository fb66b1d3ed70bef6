#include "search/found_picture_reader.h"

#include "common/byte_record.h"
#include "imaging/decode_cancel.h"
#include "imaging/picture_fingerprint.h"
#include "platform/file_cache_entry.h"
#include "platform/file_dates.h"
#include "platform/file_measure.h"
#include "platform/unique_fd.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

namespace quillmere {

namespace {

// Bytes hashed per read.
constexpr std::size_t kHashBlock = std::size_t(1) << 16;

// The hash of the file's whole content, read on `fd`; nothing when it could
// not be read in full or more bytes came than `length`, or when cancelled.
std::optional<std::uint64_t> contentHash(int fd, std::int64_t length, const std::atomic<bool> &cancelled)
{
    const std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), &XXH3_freeState);
    if (!state) {
        throw std::bad_alloc();
    }
    XXH3_64bits_reset(state.get());
    const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kHashBlock]);
    std::int64_t offset = 0;
    for (;;) {
        if (cancelled) {
            return std::nullopt;
        }
        const std::int64_t got = ReadFully(fd, buffer.get(), static_cast<std::int64_t>(kHashBlock), offset);
        if (got < 0) {
            return std::nullopt;
        }
        XXH3_64bits_update(state.get(), buffer.get(), static_cast<std::size_t>(got));
        offset += got;
        if (offset > length) {
            return std::nullopt; // the file grew while it was read
        }
        if (got < static_cast<std::int64_t>(kHashBlock)) {
            break;
        }
    }
    if (offset != length) {
        return std::nullopt;
    }
    return XXH3_64bits_digest(state.get());
}

constexpr char kPictureKind[] = "picture";
constexpr char kPixelsKind[] = "pixels";

// What the cache keeps of a picture: all that reading its file found but
// the length and the date, which its status gives at no cost.
std::string pictureValue(const FingerprintedPicture &picture)
{
    RecordWriter record;
    record.put(picture.width).put(picture.height).put(picture.contentHash);
    record.put(picture.fingerprint.exactKey).put(picture.fingerprint.data);
    return record.take();
}

bool pictureFromValue(std::string_view value, FingerprintedPicture &picture)
{
    RecordReader record(value);
    const auto width = record.get<int>();
    const auto height = record.get<int>();
    const auto hash = record.get<std::uint64_t>();
    const auto exactKey = record.get<std::uint64_t>();
    const auto data = record.get<decltype(picture.fingerprint.data)>();
    if (!width || !height || !hash || !exactKey || !data || !record.atEnd() || *width <= 0 || *height <= 0) {
        return false;
    }
    picture.width = *width;
    picture.height = *height;
    picture.contentHash = *hash;
    picture.fingerprint.exactKey = *exactKey;
    picture.fingerprint.data = *data;
    return true;
}

std::string digestValue(const PixelDigest &digest)
{
    return RecordWriter().put(digest.size.width()).put(digest.size.height()).put(digest.low).put(digest.high).take();
}

std::optional<PixelDigest> digestFromValue(std::string_view value)
{
    RecordReader record(value);
    const auto width = record.get<int>();
    const auto height = record.get<int>();
    const auto low = record.get<std::uint64_t>();
    const auto high = record.get<std::uint64_t>();
    if (!width || !height || !low || !high || !record.atEnd()) {
        return std::nullopt;
    }
    return PixelDigest {QSize(*width, *height), *low, *high};
}

// The creation date the result table shows, taken from the open file.
double creationDateOf(int fd)
{
    struct statx info {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME | STATX_MTIME, &info) != 0) {
        return 0;
    }
    return DateValueOfFileTime(CreationSecondsOf(info));
}

} // namespace

FoundPictureReader::FoundPictureReader(const ListedFolders &listed, FileCache *cache)
    : folders_(&listed)
    , cache_(cache)
{
}

int FoundPictureReader::open(const std::string &path, struct stat &info, FolderIdentity &folder)
{
    std::string_view folderPart;
    std::string_view name;
    SplitPath(path, folderPart, name);
    const std::string fileName(name);
    const std::lock_guard lock(mutex_);
    const FolderHandles::Folder *held = folders_.find(folderPart);
    if (held == nullptr) {
        return -1;
    }
    folder = held->identity;
    return OpenFoundFileIn(held->fd, fileName.c_str(), info);
}

std::optional<ReadPicture> FoundPictureReader::read(const std::string &path, const std::atomic<bool> &cancelled)
{
    struct stat info {};
    FolderIdentity folder;
    const UniqueFd fd(open(path, info, folder));
    if (!fd.valid()) {
        return std::nullopt;
    }
    const FileIdentity identity = FileIdentityOf(info);
    ReadPicture read;
    const FileCacheEntry entry(cache_, fd.get(), info, kPictureKind, kFingerprintVersion);
    const std::optional<std::string> value = entry.find();
    if (!value || !pictureFromValue(*value, read.picture)) {
        const std::optional<std::uint64_t> hash = contentHash(fd.get(), identity.size, cancelled);
        if (!hash || cancelled) {
            return std::nullopt;
        }
        // Decoded through the descriptor, so the picture is the very file
        // whose bytes were hashed, whatever happened to its path meanwhile.
        const std::optional<FingerprintedFile> fingerprinted = FingerprintPictureFile(DescriptorPath(fd.get()));
        if (!fingerprinted || cancelled) {
            return std::nullopt;
        }
        // A file written to while it was read may have given bytes and
        // pixels of two states; it is left out rather than half-known.
        struct stat after {};
        if (::fstat(fd.get(), &after) != 0 || FileIdentityOf(after) != identity) {
            return std::nullopt;
        }
        read.picture.fingerprint = fingerprinted->fingerprint;
        read.picture.width = fingerprinted->size.width();
        read.picture.height = fingerprinted->size.height();
        read.picture.contentHash = *hash;
        entry.store(pictureValue(read.picture));
    }
    read.picture.bytes = identity.size;
    read.picture.date = creationDateOf(fd.get());
    read.found = FoundFile {identity, folder};
    return read;
}

std::optional<PixelDigest> FoundPictureReader::pixelDigest(const std::string &path, const FoundFile &found,
                                                           bool decode)
{
    const UniqueFd fd = reopen(path, found);
    if (!fd.valid()) {
        return std::nullopt;
    }
    const FileCacheEntry entry(cache_, fd.get(), kPixelsKind, kFingerprintVersion);
    if (const std::optional<std::string> value = entry.find()) {
        if (std::optional<PixelDigest> digest = digestFromValue(*value)) {
            return digest;
        }
    }
    if (!decode) {
        return std::nullopt;
    }
    std::optional<PixelDigest> digest = UprightPixelsDigest(DescriptorPath(fd.get()));
    if (digest && !decodeCancelled()) {
        entry.store(digestValue(*digest));
    }
    return digest;
}

bool FoundPictureReader::sameJpegPicture(const std::string &pathA, const FoundFile &foundA, const std::string &pathB,
                                         const FoundFile &foundB)
{
    const UniqueFd fileA = reopen(pathA, foundA);
    const UniqueFd fileB = reopen(pathB, foundB);
    return fileA.valid() && fileB.valid()
        && SameJpegPicture(DescriptorPath(fileA.get()), DescriptorPath(fileB.get()));
}

UniqueFd FoundPictureReader::reopen(const std::string &path, const FoundFile &found)
{
    struct stat info {};
    FolderIdentity folder;
    UniqueFd fd(open(path, info, folder));
    if (!fd.valid() || folder != found.folder || FileIdentityOf(info) != found.file) {
        return UniqueFd();
    }
    return fd;
}

} // namespace quillmere
