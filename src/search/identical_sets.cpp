#include "search/identical_sets.h"

#include "platform/file_measure.h"
#include "platform/folder_handles.h"
#include "platform/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <xxhash.h>

namespace quillmere {

namespace {

// Up to this many distinct contents a block is compared against each of them
// directly; beyond it blocks are bucketed by fingerprint first.
constexpr std::size_t kDirectCompareLimit = 4;

// Reads between two calls of whileReading outside the first calls of
// beforeFirstOpen: a few milliseconds of small files.
constexpr int kReadsBetweenCalls = 128;
// Parts of a round let go of between two such calls.
constexpr std::size_t kPartsBetweenCalls = 4096;

// Blocks up to this length are copied when kept; longer ones keep their buffer.
constexpr std::size_t kCopiedBlock = 4096;

// One set of files known to be identical up to `offset` bytes.
struct Group {
    std::vector<int> members;
    std::int64_t offset = 0;
};

// The files of one round whose current block has one content.
struct Subgroup {
    std::vector<int> members;
    // Files whose block had the fingerprint of this one's content but was not
    // kept: each is read again after the round and compared with the content.
    std::vector<int> unconfirmed;
    std::unique_ptr<unsigned char[]> content; // the block's bytes; empty for an unconfirmed bucket
    std::uint64_t fingerprint = 0;
};

class Refiner {
public:
    Refiner(const std::vector<std::string> &paths, std::int64_t size, const std::function<void(int)> &beforeFirstOpen,
            const IdenticalSetsLimits &limits, const std::function<void()> &whileReading, FolderHandles *folders)
        : paths_(paths)
        , size_(size)
        , beforeFirstOpen_(beforeFirstOpen)
        , whileReading_(whileReading)
        , limits_(limits)
        , scratch_(newBuffer())
        , fds_(paths.size())
        , seen_(paths.size())
        , folderSeen_(paths.size())
        , endState_(paths.size(), 0)
        , ownFolders_(folders == nullptr ? std::make_unique<FolderHandles>() : nullptr)
        , folders_(folders == nullptr ? *ownFolders_ : *folders)
    {
    }
    Refiner(const Refiner &) = delete;
    Refiner &operator=(const Refiner &) = delete;

    std::vector<std::vector<int>> run(std::vector<FoundFile> *found)
    {
        found_ = found;
        if (found_ != nullptr) {
            found_->assign(paths_.size(), FoundFile {});
        }
        Group all;
        all.members.resize(paths_.size());
        for (std::size_t i = 0; i < paths_.size(); ++i) {
            all.members[i] = static_cast<int>(i);
        }
        round(all, true);
        // Depth first, so that the files held open always belong to one group
        // of at most maxOpenFiles files.
        while (!pending_.empty()) {
            Group group = std::move(pending_.back());
            pending_.pop_back();
            round(group, false);
        }
        std::sort(results_.begin(), results_.end());
        return std::move(results_);
    }

private:
    std::size_t blockLength(std::int64_t offset) const
    {
        const std::size_t wanted = offset == 0 ? limits_.firstBlock : limits_.block;
        return static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(wanted), size_ - offset));
    }

    void release(int index) { fds_[static_cast<std::size_t>(index)].reset(); }

    void releaseAll()
    {
        for (UniqueFd &fd : fds_) {
            fd.reset();
        }
        folders_.clear();
    }

    // Opens file `index` and checks that it is still the regular file of
    // `size_` bytes that its first open found: a file replaced, edited or
    // unlinked between two opens is identical to nothing. The file is opened
    // from its folder only: a folder that cannot be reached as it was listed
    // leaves it unopened. -1 with errno set when an open itself failed, -1
    // with errno 0 for any other file.
    int open(int index)
    {
        const auto i = static_cast<std::size_t>(index);
        constexpr int kFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY;
        std::string_view folderPart;
        std::string_view name;
        SplitPath(paths_[i], folderPart, name);
        const FolderHandles::Folder *folder = folders_.find(folderPart);
        if (folder == nullptr) {
            return -1;
        }
        const int fd = ::openat(folder->fd, std::string(name).c_str(), kFlags);
        if (fd < 0) {
            return -1;
        }
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size != size_) {
            ::close(fd);
            errno = 0;
            return -1;
        }
        const FileIdentity identity = FileIdentityOf(info);
        if (!seen_[i]) {
            seen_[i] = identity;
            folderSeen_[i] = folder->identity;
        } else if (*seen_[i] != identity) {
            ::close(fd);
            errno = 0;
            return -1;
        }
        return fd;
    }

    // Reads `length` bytes at `offset` from file `index` into the scratch
    // buffer; false when the file cannot be opened or read in full.
    bool readBlock(int index, bool keepOpen, std::size_t length, std::int64_t offset)
    {
        if (++readsSinceCall_ >= kReadsBetweenCalls) {
            callWhileReading();
        }
        UniqueFd &held = fds_[static_cast<std::size_t>(index)];
        UniqueFd temporary;
        int fd = held.get();
        if (fd < 0) {
            if (keepOpen && !descriptorsScarce_) {
                fd = open(index);
                if (fd < 0 && (errno == EMFILE || errno == ENFILE)) {
                    // Out of descriptors: from now on every file is opened
                    // just for its block, so no set is cut short by the limit.
                    descriptorsScarce_ = true;
                    releaseAll();
                } else if (fd < 0) {
                    return false;
                } else {
                    held.reset(fd);
                }
            }
            if (fd < 0) {
                fd = open(index);
                if (fd < 0) {
                    return false;
                }
                temporary.reset(fd);
            }
        }
        // The last block is read with one byte more, which must not come:
        // a file longer than measured is identical to nothing.
        const bool last = offset + static_cast<std::int64_t>(length) == size_;
        if (!readExactly(fd, length, offset, last)) {
            return false;
        }
        // A file opened just for this block that ends with it is checked for
        // changes now, on this descriptor, so that it is not opened once more
        // when it turns out to belong to a set.
        if (temporary.get() >= 0 && last) {
            endState_[static_cast<std::size_t>(index)] = endUnchanged(index, fd) ? 1 : -1;
        }
        return true;
    }

    void callWhileReading()
    {
        readsSinceCall_ = 0;
        if (whileReading_) {
            whileReading_();
        }
    }

    // Reads `length` bytes at `offset` into the scratch buffer; with
    // `atEnd`, asks for one byte more, which must not come. A regular file
    // gives everything up to its end in one read, so the end is seen without
    // a further read.
    bool readExactly(int fd, std::size_t length, std::int64_t offset, bool atEnd)
    {
        const std::size_t wanted = length + (atEnd ? 1 : 0);
        ssize_t got = 0;
        do {
            got = ::pread(fd, scratch_.get(), wanted, offset);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            return false;
        }
        auto done = static_cast<std::size_t>(got);
        if (got > 0 && done < length) {
            const std::int64_t more = ReadFully(fd, scratch_.get() + done, static_cast<std::int64_t>(wanted - done),
                                                offset + static_cast<std::int64_t>(done));
            if (more < 0) {
                return false;
            }
            done += static_cast<std::size_t>(more);
        }
        return done == length;
    }

    // Whether the file on `fd` is the one of the first open, in the same
    // state; that nothing follows its measured length was seen when its last
    // block was read.
    bool endUnchanged(int index, int fd)
    {
        const auto i = static_cast<std::size_t>(index);
        struct stat info {};
        return ::fstat(fd, &info) == 0 && seen_[i] && FileIdentityOf(info) == *seen_[i];
    }

    // A file read to its end is identical to the others only if it was not
    // changed while it was read: the same file in the same state as at its
    // first open, with nothing after its measured length.
    bool unchangedToTheEnd(int index)
    {
        const auto i = static_cast<std::size_t>(index);
        bool unchanged = false;
        if (fds_[i].get() < 0 && endState_[i] != 0) {
            unchanged = endState_[i] > 0;
        } else {
            UniqueFd temporary;
            int fd = fds_[i].get();
            if (fd < 0) {
                fd = open(index);
                if (fd < 0) {
                    return false;
                }
                temporary.reset(fd);
            }
            unchanged = endUnchanged(index, fd);
        }
        if (!unchanged) {
            return false;
        }
        if (found_ != nullptr) {
            (*found_)[i] = FoundFile {*seen_[i], folderSeen_[i]};
        }
        return true;
    }

    void finish(std::vector<int> members)
    {
        std::sort(members.begin(), members.end());
        std::vector<int> unchanged;
        for (const int index : members) {
            if (unchangedToTheEnd(index)) {
                unchanged.push_back(index);
            }
            release(index);
        }
        unchanged = firstPathOfEachFile(std::move(unchanged));
        if (unchanged.size() >= 2) {
            results_.push_back(std::move(unchanged));
        }
    }

    // A file is no copy of itself: of several paths that reached one file
    // (hard links, or a path swapped to it while the search ran) only the
    // first stays in the set. `members` is in ascending order and stays so.
    std::vector<int> firstPathOfEachFile(std::vector<int> members) const
    {
        const auto fileOf = [&](int index) {
            const FileIdentity &file = *seen_[static_cast<std::size_t>(index)];
            return std::pair(file.device, file.inode);
        };
        std::vector<int> byFile = members;
        std::sort(byFile.begin(), byFile.end(),
                  [&](int a, int b) { return std::pair(fileOf(a), a) < std::pair(fileOf(b), b); });
        std::vector<int> later;
        for (std::size_t k = 1; k < byFile.size(); ++k) {
            if (fileOf(byFile[k]) == fileOf(byFile[k - 1])) {
                later.push_back(byFile[k]);
            }
        }
        if (later.empty()) {
            return members;
        }
        std::sort(later.begin(), later.end());
        std::erase_if(members, [&](int index) { return std::binary_search(later.begin(), later.end(), index); });
        return members;
    }

    std::size_t bufferSize() const { return std::max<std::size_t>(1, std::max(limits_.firstBlock, limits_.block)); }

    // A read buffer: a block and the one byte that must not follow a file's
    // last block.
    std::unique_ptr<unsigned char[]> newBuffer() const
    {
        return std::unique_ptr<unsigned char[]>(new unsigned char[bufferSize() + 1]);
    }

    // What keeping a block's content costs: a small block is copied into a
    // buffer of its own size, a large one keeps the whole read buffer it was
    // read into, so the bytes are never copied.
    std::size_t heldCost(std::size_t length) const { return length <= kCopiedBlock ? length : bufferSize(); }

    // Keeps the block just read into the scratch buffer as a content; the
    // scratch buffer is ready for the next read afterwards.
    std::unique_ptr<unsigned char[]> keep(std::size_t length, std::size_t &heldBytes)
    {
        heldBytes += heldCost(length);
        if (length <= kCopiedBlock) {
            std::unique_ptr<unsigned char[]> copy(new unsigned char[std::max<std::size_t>(1, length)]);
            std::memcpy(copy.get(), scratch_.get(), length);
            return copy;
        }
        std::unique_ptr<unsigned char[]> kept = std::move(scratch_);
        if (spare_.empty()) {
            scratch_ = newBuffer();
        } else {
            scratch_ = std::move(spare_.back());
            spare_.pop_back();
        }
        return kept;
    }

    // A content no longer needed; whole read buffers are kept for reuse, as
    // many as the budget allows.
    void giveBack(std::unique_ptr<unsigned char[]> content, std::size_t length)
    {
        if (content && length > kCopiedBlock && (spare_.size() + 1) * bufferSize() <= limits_.memoryBudget) {
            spare_.push_back(std::move(content));
        }
    }

    // Reads the next block of every member and splits the group by it.
    void round(Group &group, bool first)
    {
        const std::size_t length = blockLength(group.offset);
        const bool keepOpen = group.members.size() <= static_cast<std::size_t>(std::max(1, limits_.maxOpenFiles));
        // Every content kept costs its own bytes; the budget counts them all.
        std::size_t heldBytes = 0;
        const auto roomForContent = [&] { return heldBytes + heldCost(length) <= limits_.memoryBudget; };
        // Beyond the budget, a second file of one fingerprint keeps its block
        // once more as the bucket's content, from a budget of its own, so
        // only the files before it are read again, not the whole bucket.
        std::size_t confirmingBytes = 0;
        const auto roomToConfirm = [&] { return confirmingBytes + heldCost(length) <= limits_.memoryBudget; };

        std::vector<Subgroup> parts;
        std::unordered_map<std::uint64_t, std::vector<std::size_t>> byFingerprint;
        bool bucketed = false;
        const unsigned char *block = scratch_.get();

        for (const int index : group.members) {
            if (first && beforeFirstOpen_) {
                readsSinceCall_ = 0;
                beforeFirstOpen_(index);
            }
            if (!readBlock(index, keepOpen, length, group.offset)) {
                release(index);
                continue;
            }
            if (!bucketed && parts.size() >= kDirectCompareLimit) {
                bucketed = true;
                for (std::size_t p = 0; p < parts.size(); ++p) {
                    parts[p].fingerprint = limits_.fingerprint(parts[p].content.get(), length);
                    byFingerprint[parts[p].fingerprint].push_back(p);
                }
            }
            std::size_t match = parts.size();
            std::uint64_t fingerprint = 0;
            if (!bucketed) {
                for (std::size_t p = 0; p < parts.size() && match == parts.size(); ++p) {
                    if (std::memcmp(parts[p].content.get(), block, length) == 0) {
                        match = p;
                    }
                }
            } else {
                fingerprint = limits_.fingerprint(block, length);
                const auto found = byFingerprint.find(fingerprint);
                if (found != byFingerprint.end()) {
                    for (const std::size_t p : found->second) {
                        if (parts[p].content && std::memcmp(parts[p].content.get(), block, length) == 0) {
                            match = p;
                            break;
                        }
                    }
                    // Beyond the memory budget, files whose block has a
                    // fingerprint seen before share an unconfirmed bucket.
                    if (match == parts.size() && !roomForContent()) {
                        for (const std::size_t p : found->second) {
                            if (!parts[p].content) {
                                match = p;
                                break;
                            }
                        }
                        if (match < parts.size() && roomToConfirm()) {
                            Subgroup &bucket = parts[match];
                            bucket.unconfirmed.insert(bucket.unconfirmed.end(), bucket.members.begin(),
                                                      bucket.members.end());
                            bucket.members.assign(1, index);
                            bucket.content = keep(length, confirmingBytes);
                            block = scratch_.get();
                            continue;
                        }
                    }
                }
            }
            if (match < parts.size()) {
                parts[match].members.push_back(index);
                continue;
            }
            Subgroup part;
            part.members.push_back(index);
            part.fingerprint = fingerprint;
            if (!bucketed || roomForContent()) {
                part.content = keep(length, heldBytes);
                block = scratch_.get();
            }
            if (bucketed) {
                byFingerprint[fingerprint].push_back(parts.size());
            }
            parts.push_back(std::move(part));
        }

        // The files read again are placed by their bytes among the contents
        // of their fingerprint; those that match none join its bucket
        // without a content, or are sorted out afresh.
        std::unordered_map<std::uint64_t, std::vector<int>> unplaced;
        for (Subgroup &part : parts) {
            if (!part.content) {
                continue;
            }
            for (const int index : std::exchange(part.unconfirmed, {})) {
                if (!readBlock(index, keepOpen, length, group.offset)) {
                    release(index);
                    continue;
                }
                std::size_t home = parts.size();
                for (const std::size_t p : byFingerprint[part.fingerprint]) {
                    if (parts[p].content && std::memcmp(parts[p].content.get(), scratch_.get(), length) == 0) {
                        home = p;
                        break;
                    }
                }
                if (home < parts.size()) {
                    parts[home].members.push_back(index);
                } else {
                    unplaced[part.fingerprint].push_back(index);
                }
            }
        }
        for (auto &[fingerprint, files] : unplaced) {
            std::size_t bucket = parts.size();
            for (const std::size_t p : byFingerprint[fingerprint]) {
                if (!parts[p].content) {
                    bucket = p;
                    break;
                }
            }
            if (bucket < parts.size()) {
                parts[bucket].members.insert(parts[bucket].members.end(), files.begin(), files.end());
            } else if (files.size() >= 2) {
                pending_.push_back(Group {std::move(files), group.offset});
            } else {
                release(files.front());
            }
        }

        // A round of a large set lets go of much memory: it is given back
        // piece by piece, with the window answering in between.
        const bool large = group.members.size() >= kPartsBetweenCalls;
        std::unordered_map<std::uint64_t, std::vector<std::size_t>>().swap(byFingerprint);
        if (large) {
            callWhileReading();
        }
        const std::int64_t next = group.offset + static_cast<std::int64_t>(length);
        std::size_t handled = 0;
        for (Subgroup &part : parts) {
            if (++handled % kPartsBetweenCalls == 0) {
                callWhileReading();
            }
            const bool confirmed = static_cast<bool>(part.content);
            giveBack(std::move(part.content), length);
            if (part.members.size() < 2) {
                release(part.members.front());
            } else if (!confirmed) {
                // Same fingerprint, bytes not compared: read this block again.
                pending_.push_back(Group {std::move(part.members), group.offset});
            } else if (next >= size_) {
                finish(std::move(part.members));
            } else {
                pending_.push_back(Group {std::move(part.members), next});
            }
            std::vector<int>().swap(part.members);
        }
        std::vector<Subgroup>().swap(parts);
        if (large) {
            callWhileReading();
        }
    }

    const std::vector<std::string> &paths_;
    std::int64_t size_;
    const std::function<void(int)> &beforeFirstOpen_;
    const std::function<void()> &whileReading_;
    int readsSinceCall_ = 0;
    IdenticalSetsLimits limits_;
    std::unique_ptr<unsigned char[]> scratch_;
    std::vector<std::unique_ptr<unsigned char[]>> spare_;
    std::vector<UniqueFd> fds_;
    std::vector<std::optional<FileIdentity>> seen_;
    // The folder each file was first opened from, as it was found then.
    std::vector<FolderIdentity> folderSeen_;
    // For files opened just for their last block: 1 when they ended unchanged
    // then, -1 when not, 0 when not checked yet.
    std::vector<signed char> endState_;
    // The folders of the files, held open while the files are read: the
    // caller's, or else this comparison's own.
    std::unique_ptr<FolderHandles> ownFolders_;
    FolderHandles &folders_;
    bool descriptorsScarce_ = false;
    std::vector<FoundFile> *found_ = nullptr;
    std::vector<Group> pending_;
    std::vector<std::vector<int>> results_;
};

} // namespace

std::uint64_t BlockFingerprint(const unsigned char *data, std::size_t length)
{
    return XXH3_64bits(data, length);
}

std::vector<std::vector<int>> FindIdenticalSets(const std::vector<std::string> &paths, std::int64_t size,
                                                const std::function<void(int)> &beforeFirstOpen,
                                                const IdenticalSetsLimits &limits, std::vector<FoundFile> *found,
                                                const std::function<void()> &whileReading, FolderHandles *folders)
{
    if (paths.size() < 2 || size < 0) {
        if (beforeFirstOpen) {
            for (std::size_t i = 0; i < paths.size(); ++i) {
                beforeFirstOpen(static_cast<int>(i));
            }
        }
        if (found != nullptr) {
            found->assign(paths.size(), FoundFile {});
        }
        return {};
    }
    return Refiner(paths, size, beforeFirstOpen, limits, whileReading, folders).run(found);
}

} // namespace quillmere
