#pragma once

#include "platform/file_identity.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quillmere {

class FolderHandles;

// A fast 64-bit fingerprint of a block; equal blocks give equal values.
std::uint64_t BlockFingerprint(const unsigned char *data, std::size_t length);

struct IdenticalSetsLimits {
    // Files held open at once, whatever the number of files given.
    int maxOpenFiles = 256;
    // The first read of each file: most different files differ early, and a
    // file that matches no other is not read any further.
    std::size_t firstBlock = 4096;
    // Every later read.
    std::size_t block = 65536;
    // Memory for the block contents held while one round of a very large set
    // of files is sorted by content; every content kept counts its bytes.
    std::size_t memoryBudget = std::size_t(32) << 20;
    // Buckets blocks before memcmp decides; only the speed depends on it.
    std::uint64_t (*fingerprint)(const unsigned char *data, std::size_t length) = &BlockFingerprint;
};

// Finds every set of byte-identical files among `paths`, all measured at
// `size` bytes. Returns the sets of two or more indices into `paths`, each in
// ascending order, the sets ordered by their first index.
//
// The files are read block by block in lockstep; after each block they are
// split by its content (a fingerprint buckets them, memcmp decides), and a
// file whose content no other file shares any more is dropped at once. So a
// file's bytes are read once and reading stops where the last possible match
// ends. Only when one round meets more distinct blocks than the memory budget
// holds are the files of a bucket read once more for that block. Sets larger
// than maxOpenFiles are read with each file opened just for its block.
// A file that cannot be opened, is no longer a regular file of `size` bytes,
// cannot be read to its end, or changed while it was read (another file or
// another state at a later open or after its last block, or bytes beyond
// `size`) is identical to nothing. Files are opened read-only, without
// blocking and never through a symbolic link. When the descriptor limit is
// reached, files are opened just for each block, so no set is cut short.
//
// Two paths that reach one file (device and inode) are never members of one
// set: the first of them stays.
//
// `found`, when given, receives one entry per path; for every member of a
// returned set it holds the file as it was read and the folder it was read
// from.
//
// `whileReading()` is called every few hundred reads that follow no call of
// beforeFirstOpen (files read again, later blocks), so that the window keeps
// answering through a large set; it may throw to end the search.
//
// `beforeFirstOpen(i)` is called for every index in ascending order just
// before the file is first looked at (for progress and message pumping).
//
// `folders`, when given, holds the folders the files are opened from; a
// caller comparing many small sets passes one for all of them, so that a
// folder is opened once, not once per set that has a file in it. A file whose
// folder it does not find is identical to nothing. Without it, each folder is
// opened by its path.
std::vector<std::vector<int>> FindIdenticalSets(const std::vector<std::string> &paths, std::int64_t size,
                                                const std::function<void(int)> &beforeFirstOpen = {},
                                                const IdenticalSetsLimits &limits = {},
                                                std::vector<FoundFile> *found = nullptr,
                                                const std::function<void()> &whileReading = {},
                                                FolderHandles *folders = nullptr);

} // namespace quillmere
