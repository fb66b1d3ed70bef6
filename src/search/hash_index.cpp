#include "search/hash_index.h"

#include <algorithm>
#include <numeric>
#include <tuple>

#if defined(__x86_64__) && defined(__GNUC__)
#define QUILLMERE_X86_KERNELS 1
#include <immintrin.h>
#endif

namespace quillmere {

namespace {

// A bit set in fewer than this share of the hashes, or unset in fewer, is
// left out of the pieces.
constexpr double kLopsided = 0.1;

using Pairs = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

#ifdef QUILLMERE_X86_KERNELS
// Adds (id, ids[at]) for the entries `at` from `near` on, four at a time,
// whose hashes lie within `reach` bits of hash; returns where it stopped,
// fewer than four entries before `last`.
__attribute__((target("avx2,popcnt"))) std::uint32_t pairsFourAtOnce(std::uint32_t id, std::uint64_t hash,
                                                                     const std::uint64_t *hashes,
                                                                     const std::uint32_t *ids, std::uint32_t near,
                                                                     std::uint32_t last, int reach, Pairs &pairs)
{
    const __m256i query = _mm256_set1_epi64x(static_cast<long long>(hash));
    const __m256i nibbles = _mm256_set1_epi8(0x0F);
    const __m256i bitsOf =
        _mm256_setr_epi8(0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4, 0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4);
    const __m256i most = _mm256_set1_epi64x(reach);
    for (; near + 4 <= last; near += 4) {
        const __m256i differ =
            _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(hashes + near)), query);
        const __m256i perByte =
            _mm256_add_epi8(_mm256_shuffle_epi8(bitsOf, _mm256_and_si256(differ, nibbles)),
                            _mm256_shuffle_epi8(bitsOf, _mm256_and_si256(_mm256_srli_epi64(differ, 4), nibbles)));
        const __m256i counts = _mm256_sad_epu8(perByte, _mm256_setzero_si256());
        if (_mm256_movemask_epi8(_mm256_cmpgt_epi64(counts, most)) != -1) {
            for (std::uint32_t one = near; one < near + 4; ++one) {
                if (__builtin_popcountll(hashes[one] ^ hash) <= reach) {
                    pairs.emplace_back(id, ids[one]);
                }
            }
        }
    }
    return near;
}

// The same eight at a time, with AVX-512's own count of bits.
__attribute__((target("avx512f,avx512vpopcntdq,popcnt"))) std::uint32_t
pairsEightAtOnce(std::uint32_t id, std::uint64_t hash, const std::uint64_t *hashes, const std::uint32_t *ids,
                 std::uint32_t near, std::uint32_t last, int reach, Pairs &pairs)
{
    const __m512i query = _mm512_set1_epi64(static_cast<long long>(hash));
    const __m512i most = _mm512_set1_epi64(reach);
    for (; near + 8 <= last; near += 8) {
        const __m512i differ = _mm512_xor_si512(_mm512_loadu_si512(hashes + near), query);
        unsigned within = _mm512_cmple_epu64_mask(_mm512_popcnt_epi64(differ), most);
        while (within != 0) {
            pairs.emplace_back(id, ids[near + static_cast<unsigned>(__builtin_ctz(within))]);
            within &= within - 1;
        }
    }
    return near;
}
#endif

// Adds to `pairs` the ids of every two entries within `reach` bits of each
// other, the first with its id in [from, to) and the second with a greater
// id, in the same bucket of a table or in buckets one bit apart. Ids rise
// within a bucket, so the entries after an id begin ever later as it rises.
template <HashIndex::Counting kCounting>
[[gnu::always_inline]] inline void pairsInTable(const std::uint32_t *start, const std::uint64_t *hashes,
                                                const std::uint32_t *ids, int bits, std::uint32_t from,
                                                std::uint32_t to, int reach, Pairs &pairs)
{
    const auto within = [&](std::uint64_t differ) {
        if constexpr (kCounting == HashIndex::Counting::Portable) {
            return BitsSet(differ) <= reach;
        } else {
            return __builtin_popcountll(differ) <= reach;
        }
    };
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
                std::uint32_t near = after;
#ifdef QUILLMERE_X86_KERNELS
                if constexpr (kCounting == HashIndex::Counting::FourAtOnce) {
                    near = pairsFourAtOnce(id, hash, hashes, ids, near, otherLast, reach, pairs);
                } else if constexpr (kCounting == HashIndex::Counting::EightAtOnce) {
                    near = pairsEightAtOnce(id, hash, hashes, ids, near, otherLast, reach, pairs);
                }
#endif
                for (; near < otherLast; ++near) {
                    if (within(hashes[near] ^ hash)) {
                        pairs.emplace_back(id, ids[near]);
                    }
                }
            }
        }
    }
}

using PairsInTable = void (*)(const std::uint32_t *, const std::uint64_t *, const std::uint32_t *, int, std::uint32_t,
                              std::uint32_t, int, Pairs &);

void pairsInTablePortable(const std::uint32_t *start, const std::uint64_t *hashes, const std::uint32_t *ids,
                          int bits, std::uint32_t from, std::uint32_t to, int reach, Pairs &pairs)
{
    pairsInTable<HashIndex::Counting::Portable>(start, hashes, ids, bits, from, to, reach, pairs);
}

// Comparing hashes is nearly all of the work: the processor's own means of
// counting bits are used where it has them.
#ifdef QUILLMERE_X86_KERNELS
__attribute__((target("popcnt"))) void pairsInTablePopcount(const std::uint32_t *start, const std::uint64_t *hashes,
                                                            const std::uint32_t *ids, int bits, std::uint32_t from,
                                                            std::uint32_t to, int reach, Pairs &pairs)
{
    pairsInTable<HashIndex::Counting::Popcount>(start, hashes, ids, bits, from, to, reach, pairs);
}

__attribute__((target("avx2,popcnt"))) void pairsInTableFourAtOnce(const std::uint32_t *start,
                                                                   const std::uint64_t *hashes,
                                                                   const std::uint32_t *ids, int bits,
                                                                   std::uint32_t from, std::uint32_t to, int reach,
                                                                   Pairs &pairs)
{
    pairsInTable<HashIndex::Counting::FourAtOnce>(start, hashes, ids, bits, from, to, reach, pairs);
}

__attribute__((target("avx512f,avx512vpopcntdq,popcnt"))) void
pairsInTableEightAtOnce(const std::uint32_t *start, const std::uint64_t *hashes, const std::uint32_t *ids, int bits,
                        std::uint32_t from, std::uint32_t to, int reach, Pairs &pairs)
{
    pairsInTable<HashIndex::Counting::EightAtOnce>(start, hashes, ids, bits, from, to, reach, pairs);
}
#endif

PairsInTable pairsInTableBy(HashIndex::Counting counting)
{
    switch (counting) {
#ifdef QUILLMERE_X86_KERNELS
    case HashIndex::Counting::EightAtOnce:
        return pairsInTableEightAtOnce;
    case HashIndex::Counting::FourAtOnce:
        return pairsInTableFourAtOnce;
    case HashIndex::Counting::Popcount:
        return pairsInTablePopcount;
#endif
    default:
        return pairsInTablePortable;
    }
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
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return std::tie(ids[a], a) < std::tie(ids[b], b); });
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

std::vector<HashIndex::Counting> HashIndex::countingsHere()
{
    std::vector<Counting> here;
#ifdef QUILLMERE_X86_KERNELS
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vpopcntdq") &&
        __builtin_cpu_supports("popcnt")) {
        here.push_back(Counting::EightAtOnce);
    }
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt")) {
        here.push_back(Counting::FourAtOnce);
    }
    if (__builtin_cpu_supports("popcnt")) {
        here.push_back(Counting::Popcount);
    }
#endif
    here.push_back(Counting::Portable);
    return here;
}

void HashIndex::pairsFrom(std::uint32_t from, std::uint32_t to, Pairs &pairs) const
{
    static const Counting fastest = countingsHere().front();
    pairsFrom(from, to, pairs, fastest);
}

void HashIndex::pairsFrom(std::uint32_t from, std::uint32_t to, Pairs &pairs, Counting counting) const
{
    const PairsInTable pairsIn = pairsInTableBy(counting);
    // Many pictures alike (a folder of blank scans) pair each of them with
    // all the others in every table: the repeats are dropped whenever they
    // have doubled the list, so that it stays within a few times the pairs.
    constexpr std::size_t kLeastToCompact = std::size_t {1} << 16;
    std::size_t compacted = std::max(pairs.size(), kLeastToCompact);
    for (const Table &table : tables_) {
        pairsIn(table.start.data(), table.hashes.data(), table.ids.data(), table.bits, from, to, kReach, pairs);
        if (pairs.size() > 2 * compacted) {
            std::sort(pairs.begin(), pairs.end());
            pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
            compacted = std::max(pairs.size(), kLeastToCompact);
        }
    }
}

} // namespace quillmere
