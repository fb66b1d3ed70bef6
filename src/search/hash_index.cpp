#include "search/hash_index.h"

#include <algorithm>
#include <numeric>

namespace quillmere {

namespace {

// A bit set in fewer than this share of the hashes, or unset in fewer, is
// left out of the pieces.
constexpr double kLopsided = 0.1;

using Pairs = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// Adds to `pairs` the ids of every two entries within `reach` bits of each
// other, the first with its id in [from, to) and the second with a greater
// id, in the same bucket of a table or in buckets one bit apart. Ids rise
// within a bucket, so the entries after an id begin ever later as it rises.
template <bool kPopcount>
[[gnu::always_inline]] inline void pairsInTable(const std::uint32_t *start, const std::uint64_t *hashes,
                                                const std::uint32_t *ids, int bits, std::uint32_t from,
                                                std::uint32_t to, int reach, Pairs &pairs)
{
    const unsigned buckets = 1u << bits;
    for (unsigned bucket = 0; bucket < buckets; ++bucket) {
        const std::uint32_t first =
            static_cast<std::uint32_t>(std::lower_bound(ids + start[bucket], ids + start[bucket + 1], from) - ids);
        const std::uint32_t last =
            static_cast<std::uint32_t>(std::lower_bound(ids + first, ids + start[bucket + 1], to) - ids);
        if (first == last) {
            continue;
        }
        for (int flip = -1; flip < bits; ++flip) {
            const unsigned other = flip < 0 ? bucket : bucket ^ (1u << flip);
            const std::uint32_t otherLast = start[other + 1];
            std::uint32_t after = start[other];
            for (std::uint32_t at = first; at < last; ++at) {
                const std::uint32_t id = ids[at];
                const std::uint64_t hash = hashes[at];
                while (after < otherLast && ids[after] <= id) {
                    ++after;
                }
                for (std::uint32_t near = after; near < otherLast; ++near) {
                    const std::uint64_t differ = hashes[near] ^ hash;
                    int count = 0;
                    if constexpr (kPopcount) {
                        count = __builtin_popcountll(differ);
                    } else {
                        count = BitsSet(differ);
                    }
                    if (count <= reach) {
                        pairs.emplace_back(id, ids[near]);
                    }
                }
            }
        }
    }
}

void pairsInTablePlain(const std::uint32_t *start, const std::uint64_t *hashes, const std::uint32_t *ids, int bits,
                       std::uint32_t from, std::uint32_t to, int reach, Pairs &pairs)
{
    pairsInTable<false>(start, hashes, ids, bits, from, to, reach, pairs);
}

// Comparing hashes is nearly all of the work: where the processor has a
// popcount instruction, the same with it.
#if defined(__x86_64__) && defined(__GNUC__)
#define QUILLMERE_POPCNT_CLONE 1
__attribute__((target("popcnt"))) void pairsInTablePopcnt(const std::uint32_t *start, const std::uint64_t *hashes,
                                                          const std::uint32_t *ids, int bits, std::uint32_t from,
                                                          std::uint32_t to, int reach, Pairs &pairs)
{
    pairsInTable<true>(start, hashes, ids, bits, from, to, reach, pairs);
}
#endif

using PairsInTable = void (*)(const std::uint32_t *, const std::uint64_t *, const std::uint32_t *, int, std::uint32_t,
                              std::uint32_t, int, Pairs &);

PairsInTable bestPairsInTable()
{
#ifdef QUILLMERE_POPCNT_CLONE
    if (__builtin_cpu_supports("popcnt")) {
        return pairsInTablePopcnt;
    }
#endif
    return pairsInTablePlain;
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
    static const PairsInTable pairsIn = bestPairsInTable();
    for (const Table &table : tables_) {
        pairsIn(table.start.data(), table.hashes.data(), table.ids.data(), table.bits, from, to, kReach, pairs);
    }
}

} // namespace quillmere
