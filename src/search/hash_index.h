#pragma once

#include <cstdint>
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

// Finds every stored 64-bit hash within a Hamming distance of a query
// without looking at them all: multi-index hashing (Norouzi, Punjani and
// Fleet 2012, "Fast Search in Hamming Space with Multi-Index Hashing"). The
// hash is cut into four pieces of 16 bits, each with a table of its own; two
// hashes at most 11 bits apart agree within 2 bits on at least one piece
// (else they would differ in 3 x 4 = 12), so probing each table at the
// query's piece and its 136 neighbours within 2 bits finds them all. Piece
// p takes the bits i with i % 4 == p, so that the pieces mix low and high
// frequencies of a DCT hash and fill their tables alike. (Wider reaches cost
// far more: within 3 bits there are 696 neighbours, and shorter pieces fill
// each bucket with more hashes to look at.)
class HashIndex {
public:
    static constexpr int kReach = 11;

    // Stores hashes[i] under the id ids[i]; an id may come with several hashes.
    HashIndex(const std::vector<std::uint64_t> &hashes, const std::vector<std::uint32_t> &ids);

    // Calls found(id) for every id stored with a hash within kReach bits
    // of query, possibly more than once.
    template <typename Found>
    void forEachNear(std::uint64_t query, Found &&found) const
    {
        query = interleaved(query);
        for (int piece = 0; piece < kPieces; ++piece) {
            const Table &table = tables_[piece];
            const unsigned key = pieceOf(query, piece);
            for (const std::uint16_t flip : neighbourFlips()) {
                const unsigned bucket = key ^ flip;
                for (std::uint32_t at = table.start[bucket]; at < table.start[bucket + 1]; ++at) {
                    const Entry &entry = table.entries[at];
                    if (BitsSet(entry.hash ^ query) <= kReach) {
                        found(static_cast<int>(entry.id));
                    }
                }
            }
        }
    }

private:
    static constexpr int kPieces = 4;
    static constexpr int kPieceBits = 16;
    static constexpr int kBuckets = 1 << kPieceBits;
    struct Entry {
        std::uint64_t hash; // interleaved
        std::uint32_t id;
    };
    struct Table {
        std::vector<std::uint32_t> start; // kBuckets + 1 offsets into entries
        std::vector<Entry> entries;       // sorted by bucket
    };
    // Bit i moved to bit (i % 4) * 16 + i / 4: the pieces side by side.
    static std::uint64_t interleaved(std::uint64_t hash);
    static unsigned pieceOf(std::uint64_t hash, int piece)
    {
        return (hash >> (kPieceBits * piece)) & (kBuckets - 1);
    }
    // Every 16-bit pattern of at most 2 set bits, 0 first.
    static const std::vector<std::uint16_t> &neighbourFlips();

    Table tables_[kPieces];
};

} // namespace quillmere
