#include "search/found_picture_reader.h"

#include "imaging/picture_fingerprint.h"
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

FoundPictureReader::FoundPictureReader(const ListedFolders &listed)
    : folders_(&listed)
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
    const std::optional<std::uint64_t> hash = contentHash(fd.get(), identity.size, cancelled);
    if (!hash || cancelled) {
        return std::nullopt;
    }
    // Decoded through the descriptor, so the picture is the very file whose
    // bytes were hashed, whatever happened to its path meanwhile.
    const std::optional<FingerprintedFile> fingerprinted = FingerprintPictureFile(DescriptorPath(fd.get()));
    if (!fingerprinted || cancelled) {
        return std::nullopt;
    }
    // A file written to while it was read may have given bytes and pixels
    // of two states; it is left out rather than half-known.
    struct stat after {};
    if (::fstat(fd.get(), &after) != 0 || FileIdentityOf(after) != identity) {
        return std::nullopt;
    }
    ReadPicture read;
    read.picture.fingerprint = fingerprinted->fingerprint;
    read.picture.width = fingerprinted->size.width();
    read.picture.height = fingerprinted->size.height();
    read.picture.bytes = identity.size;
    read.picture.date = creationDateOf(fd.get());
    read.picture.contentHash = *hash;
    read.found = FoundFile {identity, folder};
    return read;
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
