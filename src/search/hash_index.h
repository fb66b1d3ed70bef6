#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace quillmere {

// The number of set bits, by adding neighbouring counts (a builtin would be
// a library call on processors that lack the instruction).
inline int BitsSet(std::uint64_t x)
{
    x = x - ((x >> 1) & 0x5555555555555555ull);
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<int>((x * 0x0101010101010101ull) >> 56);
}

// Finds every two stored 64-bit hashes within a Hamming distance of each
// other without comparing every pair: multi-index hashing (Norouzi, Punjani
// and Fleet 2012, "Fast Search in Hamming Space with Multi-Index Hashing").
// Six pieces of the hash, of up to 11 bits each, have a table each; two
// hashes at most 11 bits apart agree within 1 bit on at least one piece
// (else they would differ in 2 x 6 = 12), so comparing each hash with those
// in its own bucket and the buckets one bit away, table by table, finds
// them all.
//
// The pieces are cut from the bits that split the stored hashes best: a bit
// that (nearly) every hash has alike, such as the sign a picture's standing
// form fixes, would only crowd the buckets, and leaving it out of the pieces
// keeps the count above true (hashes that differ in at most 11 bits overall
// differ in at most 11 of the bits kept). Kept bits are dealt to the pieces
// in turn, so that each piece mixes low and high frequencies of a DCT hash.
//
// The pairs are found table by table, bucket by bucket: the hashes of a
// bucket against those of its own bucket and of each bucket one bit away,
// two short runs read straight through. (Asking the index once for each
// hash would jump to a new place in memory for every bucket, and those
// jumps, not the comparisons, would take the time.)
class HashIndex {
public:
    static constexpr int kReach = 11;

    // Stores hashes[i] under the id ids[i]; an id may come with several hashes.
    HashIndex(const std::vector<std::uint64_t> &hashes, const std::vector<std::uint32_t> &ids);

    // Appends to `pairs` every (a, b) with a < b, from <= a < to, such that a
    // hash stored under a and one stored under b lie within kReach bits of
    // each other; a pair may come more than once, and what `pairs` held
    // before may be put in another order.
    void pairsFrom(std::uint32_t from, std::uint32_t to,
                   std::vector<std::pair<std::uint32_t, std::uint32_t>> &pairs) const;

    // How the bits in which two hashes differ are counted, nearly all of the
    // work: by BitsSet; by the popcount instruction; four hashes at a time
    // with AVX2 (each byte's bits looked up by halves, then the bytes of each
    // hash added); eight at a time with AVX-512's own count.
    enum class Counting { Portable, Popcount, FourAtOnce, EightAtOnce };
    // The ways this processor offers, fastest first; pairsFrom takes the first.
    static std::vector<Counting> countingsHere();
    // pairsFrom by the given way, which must be one of countingsHere().
    void pairsFrom(std::uint32_t from, std::uint32_t to, std::vector<std::pair<std::uint32_t, std::uint32_t>> &pairs,
                   Counting counting) const;

private:
    static constexpr int kPieces = 6;
    static constexpr int kRadius = 1;
    static constexpr int kMaxPieceBits = 11;
    static_assert(kPieces * (kRadius + 1) > kReach, "some piece is always within the radius");
    static_assert(kPieces * kMaxPieceBits >= 64, "the pieces can hold every bit");
    struct Table {
        int shift = 0; // where the piece lies in a spread hash
        int bits = 0;
        std::vector<std::uint32_t> start;  // 2^bits + 1 offsets into the entries
        std::vector<std::uint64_t> hashes; // spread, sorted by bucket, then by id
        std::vector<std::uint32_t> ids;
    };
    // The hash with its bits moved to their places: the pieces side by side
    // from bit 0, the bits left out above them. A permutation of the bits,
    // so it keeps every Hamming distance.
    std::uint64_t spread(std::uint64_t hash) const;
    static unsigned pieceOf(std::uint64_t spread, const Table &table)
    {
        return static_cast<unsigned>(spread >> table.shift) & ((1u << table.bits) - 1);
    }

    std::array<std::uint8_t, 64> place_ {};
    Table tables_[kPieces];
};

} // namespace quillmere
