#include "search/hash_index.h"

#include <algorithm>
#include <numeric>

namespace quillmere {

namespace {

// A bit set in fewer than this share of the hashes, or unset in fewer, is
// left out of the pieces.
constexpr double kLopsided = 0.1;

using Pairs = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// Adds (id, ids[at]) for every entry `at` in [first, last) whose hash lies
// within `reach` bits of hash.
void scanRunPlain(std::uint32_t id, std::uint64_t hash, const std::uint64_t *hashes, const std::uint32_t *ids,
                  std::uint32_t first, std::uint32_t last, int reach, Pairs &pairs)
{
    for (std::uint32_t at = first; at < last; ++at) {
        if (BitsSet(hashes[at] ^ hash) <= reach) {
            pairs.emplace_back(id, ids[at]);
        }
    }
}

// Comparing hashes is nearly all of the work: where the processor has a
// popcount instruction, the same with it.
#if defined(__x86_64__) && defined(__GNUC__)
#define QUILLMERE_POPCNT_CLONE 1
__attribute__((target("popcnt"))) void scanRunPopcnt(std::uint32_t id, std::uint64_t hash,
                                                     const std::uint64_t *hashes, const std::uint32_t *ids,
                                                     std::uint32_t first, std::uint32_t last, int reach, Pairs &pairs)
{
    for (std::uint32_t at = first; at < last; ++at) {
        if (__builtin_popcountll(hashes[at] ^ hash) <= reach) {
            pairs.emplace_back(id, ids[at]);
        }
    }
}
#endif

using ScanRun = void (*)(std::uint32_t, std::uint64_t, const std::uint64_t *, const std::uint32_t *, std::uint32_t,
                         std::uint32_t, int, Pairs &);

ScanRun bestScanRun()
{
#ifdef QUILLMERE_POPCNT_CLONE
    if (__builtin_cpu_supports("popcnt")) {
        return scanRunPopcnt;
    }
#endif
    return scanRunPlain;
}

} // namespace

std::uint64_t HashIndex::spread(std::uint64_t hash) const
{
    std::uint64_t spread = 0;
    for (int bit = 0; bit < 64; ++bit) {
        spread |= (hash >> bit & 1) << place_[bit];
    }
    return spread;
}

HashIndex::HashIndex(const std::vector<std::uint64_t> &original, const std::vector<std::uint32_t> &ids)
{
    // The bits that split the hashes, dealt to the pieces in turn; the rest
    // go above the pieces.
    std::array<std::size_t, 64> ones {};
    for (const std::uint64_t hash : original) {
        for (int bit = 0; bit < 64; ++bit) {
            ones[bit] += hash >> bit & 1;
        }
    }
    std::vector<int> kept;
    std::vector<int> left;
    for (int bit = 0; bit < 64; ++bit) {
        const double share = original.empty() ? 0.5 : double(ones[bit]) / double(original.size());
        (share < kLopsided || share > 1 - kLopsided ? left : kept).push_back(bit);
    }
    if (kept.size() < kPieces) {
        kept.clear();
        left.clear();
        for (int bit = 0; bit < 64; ++bit) {
            kept.push_back(bit);
        }
    }
    int shift = 0;
    for (int piece = 0; piece < kPieces; ++piece) {
        Table &table = tables_[piece];
        table.shift = shift;
        for (std::size_t k = piece; k < kept.size(); k += kPieces) {
            place_[kept[k]] = static_cast<std::uint8_t>(shift + table.bits++);
        }
        shift += table.bits;
    }
    for (const int bit : left) {
        place_[bit] = static_cast<std::uint8_t>(shift++);
    }

    // Filed in rising id order, so that each bucket lists its ids rising.
    std::vector<std::uint32_t> order(original.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return ids[a] < ids[b]; });
    std::vector<std::uint64_t> hashes(original.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        hashes[i] = spread(original[order[i]]);
    }
    for (Table &table : tables_) {
        const unsigned buckets = 1u << table.bits;
        // Counting sort by bucket, stable.
        table.start.assign(buckets + 1, 0);
        for (const std::uint64_t hash : hashes) {
            ++table.start[pieceOf(hash, table) + 1];
        }
        for (unsigned bucket = 0; bucket < buckets; ++bucket) {
            table.start[bucket + 1] += table.start[bucket];
        }
        std::vector<std::uint32_t> next(table.start.begin(), table.start.end() - 1);
        table.hashes.resize(hashes.size());
        table.ids.resize(hashes.size());
        for (std::size_t i = 0; i < hashes.size(); ++i) {
            const std::uint32_t at = next[pieceOf(hashes[i], table)]++;
            table.hashes[at] = hashes[i];
            table.ids[at] = ids[order[i]];
        }
    }
}

void HashIndex::pairsFrom(std::uint32_t from, std::uint32_t to, Pairs &pairs) const
{
    static const ScanRun scan = bestScanRun();
    for (const Table &table : tables_) {
        const std::uint32_t *ids = table.ids.data();
        const unsigned buckets = 1u << table.bits;
        for (unsigned bucket = 0; bucket < buckets; ++bucket) {
            // This bucket's entries with ids in [from, to).
            const std::uint32_t *begin = ids + table.start[bucket];
            const std::uint32_t *end = ids + table.start[bucket + 1];
            const std::uint32_t first = static_cast<std::uint32_t>(std::lower_bound(begin, end, from) - ids);
            const std::uint32_t last = static_cast<std::uint32_t>(std::lower_bound(begin, end, to) - ids);
            if (first == last) {
                continue;
            }
            for (int flip = -1; flip < table.bits; ++flip) {
                const unsigned other = flip < 0 ? bucket : bucket ^ (1u << flip);
                const std::uint32_t otherFirst = table.start[other];
                const std::uint32_t otherLast = table.start[other + 1];
                // Ids rise in both runs: the entries after each id begin ever later.
                std::uint32_t after = otherFirst;
                for (std::uint32_t at = first; at < last; ++at) {
                    while (after < otherLast && ids[after] <= ids[at]) {
                        ++after;
                    }
                    scan(ids[at], table.hashes[at], table.hashes.data(), ids, after, otherLast, kReach, pairs);
                }
            }
        }
    }
}

} // namespace quillmere
