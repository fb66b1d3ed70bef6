#include "search/identical_sets.h"

#include "platform/file_measure.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <unordered_map>

namespace quillmere {

namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr std::uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;

inline std::uint64_t rotl(std::uint64_t x, int r)
{
    return (x << r) | (x >> (64 - r));
}

inline std::uint64_t load64(const unsigned char *p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline std::uint64_t mixLane(std::uint64_t lane, std::uint64_t input)
{
    return rotl(lane + input * kPrime2, 31) * kPrime1;
}

// Up to this many distinct contents a block is compared against each of them
// directly; beyond it blocks are bucketed by fingerprint first.
constexpr std::size_t kDirectCompareLimit = 4;

using Buffer = std::unique_ptr<unsigned char[]>;

// One set of files known to be identical up to `offset` bytes.
struct Group {
    std::vector<int> members;
    std::int64_t offset = 0;
};

// The files of one round whose current block has one content.
struct Subgroup {
    std::vector<int> members;
    Buffer content;    // the block's bytes; empty for an unconfirmed bucket
    std::uint64_t fingerprint = 0;
};

class Refiner {
public:
    Refiner(const std::vector<std::string> &paths, std::int64_t size, const std::function<void(int)> &beforeFirstOpen,
            const IdenticalSetsLimits &limits)
        : paths_(paths)
        , size_(size)
        , beforeFirstOpen_(beforeFirstOpen)
        , limits_(limits)
        , bufferSize_(std::max<std::size_t>(1, std::max(limits.firstBlock, limits.block)))
        , fds_(paths.size(), -1)
    {
    }
    Refiner(const Refiner &) = delete;
    Refiner &operator=(const Refiner &) = delete;

    ~Refiner()
    {
        for (const int fd : fds_) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }

    std::vector<std::vector<int>> run()
    {
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

    Buffer takeBuffer()
    {
        if (spare_.empty()) {
            return Buffer(new unsigned char[bufferSize_]);
        }
        Buffer buffer = std::move(spare_.back());
        spare_.pop_back();
        return buffer;
    }

    void giveBack(Buffer buffer)
    {
        if (buffer) {
            spare_.push_back(std::move(buffer));
        }
    }

    void release(int index)
    {
        int &fd = fds_[static_cast<std::size_t>(index)];
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }

    // Reads block `length` at the group's offset from file `index` into
    // `buffer`; false when the file cannot be opened or read in full.
    bool readBlock(int index, bool keepOpen, unsigned char *buffer, std::size_t length, std::int64_t offset)
    {
        int fd = fds_[static_cast<std::size_t>(index)];
        bool temporary = false;
        if (fd < 0) {
            std::int64_t actual = 0;
            fd = OpenRegularFileForReading(paths_[static_cast<std::size_t>(index)], size_, actual);
            if (fd < 0) {
                return false;
            }
            if (keepOpen) {
                fds_[static_cast<std::size_t>(index)] = fd;
            } else {
                temporary = true;
            }
        }
        const std::int64_t got = ReadFully(fd, buffer, static_cast<std::int64_t>(length), offset);
        if (temporary) {
            ::close(fd);
        }
        return got == static_cast<std::int64_t>(length);
    }

    // Reads the next block of every member and splits the group by it.
    void round(Group &group, bool first)
    {
        const std::size_t length = blockLength(group.offset);
        const bool keepOpen = group.members.size() <= static_cast<std::size_t>(std::max(1, limits_.maxOpenFiles));
        const std::size_t maxContents = std::max<std::size_t>(1, limits_.memoryBudget / std::max<std::size_t>(1, length));

        std::vector<Subgroup> parts;
        std::unordered_map<std::uint64_t, std::vector<std::size_t>> byFingerprint;
        bool bucketed = false;
        std::size_t contents = 0;
        Buffer scratch = takeBuffer();

        for (const int index : group.members) {
            if (first && beforeFirstOpen_) {
                beforeFirstOpen_(index);
            }
            if (!readBlock(index, keepOpen, scratch.get(), length, group.offset)) {
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
                    if (std::memcmp(parts[p].content.get(), scratch.get(), length) == 0) {
                        match = p;
                    }
                }
            } else {
                fingerprint = limits_.fingerprint(scratch.get(), length);
                const auto found = byFingerprint.find(fingerprint);
                if (found != byFingerprint.end()) {
                    for (const std::size_t p : found->second) {
                        if (parts[p].content && std::memcmp(parts[p].content.get(), scratch.get(), length) == 0) {
                            match = p;
                            break;
                        }
                    }
                    // Beyond the memory budget, files whose block has a
                    // fingerprint seen before share an unconfirmed bucket.
                    if (match == parts.size() && contents >= maxContents) {
                        for (const std::size_t p : found->second) {
                            if (!parts[p].content) {
                                match = p;
                                break;
                            }
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
            if (!bucketed || contents < maxContents) {
                part.content = std::move(scratch);
                scratch = takeBuffer();
                ++contents;
            }
            if (bucketed) {
                byFingerprint[fingerprint].push_back(parts.size());
            }
            parts.push_back(std::move(part));
        }
        giveBack(std::move(scratch));

        const std::int64_t next = group.offset + static_cast<std::int64_t>(length);
        for (Subgroup &part : parts) {
            const bool confirmed = static_cast<bool>(part.content);
            giveBack(std::move(part.content));
            if (part.members.size() < 2) {
                release(part.members.front());
            } else if (!confirmed) {
                // Same fingerprint, bytes not compared: read this block again.
                pending_.push_back(Group { std::move(part.members), group.offset });
            } else if (next >= size_) {
                for (const int index : part.members) {
                    release(index);
                }
                results_.push_back(std::move(part.members));
            } else {
                pending_.push_back(Group { std::move(part.members), next });
            }
        }
    }

    const std::vector<std::string> &paths_;
    std::int64_t size_;
    const std::function<void(int)> &beforeFirstOpen_;
    IdenticalSetsLimits limits_;
    std::size_t bufferSize_;
    std::vector<int> fds_;
    std::vector<Buffer> spare_;
    std::vector<Group> pending_;
    std::vector<std::vector<int>> results_;
};

} // namespace

std::uint64_t BlockFingerprint(const unsigned char *data, std::size_t length)
{
    const unsigned char *p = data;
    const unsigned char *end = data + length;
    std::uint64_t a = kPrime1 + kPrime2;
    std::uint64_t b = kPrime2;
    std::uint64_t c = 0;
    std::uint64_t d = 0 - kPrime1;
    while (end - p >= 32) {
        a = mixLane(a, load64(p));
        b = mixLane(b, load64(p + 8));
        c = mixLane(c, load64(p + 16));
        d = mixLane(d, load64(p + 24));
        p += 32;
    }
    std::uint64_t h = rotl(a, 1) + rotl(b, 7) + rotl(c, 12) + rotl(d, 18) + length;
    while (end - p >= 8) {
        h ^= mixLane(0, load64(p));
        h = rotl(h, 27) * kPrime1 + kPrime4;
        p += 8;
    }
    while (p < end) {
        h ^= (*p++) * kPrime1;
        h = rotl(h, 11) * kPrime3;
    }
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    h ^= h >> 32;
    return h;
}

std::vector<std::vector<int>> FindIdenticalSets(const std::vector<std::string> &paths, std::int64_t size,
                                                const std::function<void(int)> &beforeFirstOpen,
                                                const IdenticalSetsLimits &limits)
{
    if (paths.size() < 2 || size < 0) {
        if (beforeFirstOpen) {
            for (std::size_t i = 0; i < paths.size(); ++i) {
                beforeFirstOpen(static_cast<int>(i));
            }
        }
        return {};
    }
    return Refiner(paths, size, beforeFirstOpen, limits).run();
}

} // namespace quillmere
