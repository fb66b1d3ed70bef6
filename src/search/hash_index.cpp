#include "search/hash_index.h"

#include <algorithm>
#include <numeric>

namespace quillmere {

namespace {

// A bit set in fewer than this share of the hashes, or unset in fewer, is
// left out of the pieces.
constexpr double kLopsided = 0.1;

// The ids after `after` in entries [first, last) whose hashes lie within
// `reach` bits of query. Ids rise within a run, so it is read from the top
// down.
void scanRunPlain(const std::uint64_t *hashes, const std::uint32_t *ids, std::uint32_t first, std::uint32_t last,
                  std::uint64_t query, std::int64_t after, int reach, std::vector<std::uint32_t> &found)
{
    for (std::uint32_t at = last; at > first;) {
        --at;
        if (ids[at] <= after) {
            break;
        }
        if (BitsSet(hashes[at] ^ query) <= reach) {
            found.push_back(ids[at]);
        }
    }
}

// Comparing hashes is most of the search's time: where the processor has a
// popcount instruction, the same with it.
#if defined(__x86_64__) && defined(__GNUC__)
#define QUILLMERE_POPCNT_CLONE 1
__attribute__((target("popcnt"))) void scanRunPopcnt(const std::uint64_t *hashes, const std::uint32_t *ids,
                                                     std::uint32_t first, std::uint32_t last, std::uint64_t query,
                                                     std::int64_t after, int reach, std::vector<std::uint32_t> &found)
{
    for (std::uint32_t at = last; at > first;) {
        --at;
        if (ids[at] <= after) {
            break;
        }
        if (__builtin_popcountll(hashes[at] ^ query) <= reach) {
            found.push_back(ids[at]);
        }
    }
}
#endif

using ScanRun = void (*)(const std::uint64_t *, const std::uint32_t *, std::uint32_t, std::uint32_t, std::uint64_t,
                         std::int64_t, int, std::vector<std::uint32_t> &);

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

void HashIndex::nearAfter(std::uint64_t query, std::int64_t after, std::vector<std::uint32_t> &found) const
{
    static const ScanRun scan = bestScanRun();
    query = spread(query);
    for (const Table &table : tables_) {
        const unsigned key = pieceOf(query, table);
        for (int flip = -1; flip < table.bits; ++flip) {
            const unsigned bucket = flip < 0 ? key : key ^ (1u << flip);
            scan(table.hashes.data(), table.ids.data(), table.start[bucket], table.start[bucket + 1], query, after,
                    kReach, found);
        }
    }
}

} // namespace quillmere
