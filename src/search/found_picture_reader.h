#pragma once

#include "platform/file_identity.h"
#include "platform/folder_handles.h"
#include "platform/unique_fd.h"
#include "search/similar_sets.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

namespace quillmere {

class FileCache;
class ListedFolders;

// One picture as the similar-picture search read it: what the grouping
// needs, and the file as it was read, for the removal's checks.
struct ReadPicture {
    FingerprintedPicture picture;
    FoundFile found;
};

// Opens and reads found files for the similar-picture search, from any
// number of threads at once. Every file is opened only through the folders
// of the listing, each while it is still the folder listed, read-only,
// without blocking, never through a symbolic link, and only when it is a
// regular file; everything read of it is read on that one descriptor.
//
// With a cache, what was read of a file before is taken from it when the
// file is exactly as it was then, and what is read anew is stored in it.
class FoundPictureReader {
public:
    explicit FoundPictureReader(const ListedFolders &listed, FileCache *cache = nullptr);

    // The file's fingerprint, size, length, date and content hash, with the
    // file as it was read; nothing when it cannot be opened, is no regular
    // file, no format decodes it, or it changed while it was read. Raises
    // nothing but std::bad_alloc. `cancelled`, when it turns true, ends the
    // reading of the file's bytes early (and gives nothing).
    std::optional<ReadPicture> read(const std::string &path, const std::atomic<bool> &cancelled);

    // Opens the file again and checks that it is still the one read as
    // `found`, unchanged, in the same folder; no descriptor when not.
    UniqueFd reopen(const std::string &path, const FoundFile &found);

    // The digest of the upright pixels of the file read as `found`, when it
    // is still that file; decoded in full unless `decode` is false, when
    // only the cache may give it. Raises nothing but std::bad_alloc.
    std::optional<PixelDigest> pixelDigest(const std::string &path, const FoundFile &found, bool decode);
    // SameJpegPicture of two files read as `foundA` and `foundB`, when both
    // are still those files.
    bool sameJpegPicture(const std::string &pathA, const FoundFile &foundA, const std::string &pathB,
                         const FoundFile &foundB);

private:
    // Opens the file from its listed folder: the descriptor, the file's
    // status and its folder's identity; -1 when it cannot.
    int open(const std::string &path, struct stat &info, FolderIdentity &folder);

    std::mutex mutex_; // the folder handles are shared by every reader thread
    FolderHandles folders_;
    FileCache *cache_;
};

} // namespace quillmere
