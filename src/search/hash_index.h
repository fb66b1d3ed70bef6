#pragma once

#include <cstdint>
#include <vector>

namespace quillmere {

// Finds every stored 64-bit hash within a Hamming distance of a query
// without looking at them all: multi-index hashing (Norouzi, Punjani and
// Fleet 2012, "Fast Search in Hamming Space with Multi-Index Hashing"). The
// hash is cut into four 16-bit pieces, each with a table of its own; two
// hashes at most 15 bits apart agree within 3 bits on at least one piece
// (else they would differ in 4 x 4 = 16), so probing each table at the
// query's piece and its 696 neighbours within 3 bits finds them all.
class HashIndex {
public:
    static constexpr int kReach = 15;

    // Stores hashes[i] under the id ids[i]; an id may come with several hashes.
    HashIndex(const std::vector<std::uint64_t> &hashes, const std::vector<std::uint32_t> &ids);

    // Calls found(id, hash) for every stored hash within kReach bits of
    // query, possibly more than once (once per piece it is found by).
    template <typename Found>
    void forEachNear(std::uint64_t query, Found &&found) const
    {
        for (int piece = 0; piece < kPieces; ++piece) {
            const Table &table = tables_[piece];
            const unsigned key = pieceOf(query, piece);
            for (const std::uint16_t flip : neighbourFlips()) {
                const unsigned bucket = key ^ flip;
                for (std::uint32_t at = table.start[bucket]; at < table.start[bucket + 1]; ++at) {
                    const Entry &entry = table.entries[at];
                    if (__builtin_popcountll(entry.hash ^ query) <= kReach) {
                        found(static_cast<int>(entry.id), entry.hash);
                    }
                }
            }
        }
    }

private:
    static constexpr int kPieces = 4;
    static constexpr int kBuckets = 1 << 16;
    struct Entry {
        std::uint64_t hash;
        std::uint32_t id;
    };
    struct Table {
        std::vector<std::uint32_t> start; // kBuckets + 1 offsets into entries
        std::vector<Entry> entries;       // sorted by bucket
    };
    static unsigned pieceOf(std::uint64_t hash, int piece) { return (hash >> (16 * piece)) & 0xFFFF; }
    // Every 16-bit pattern of at most 3 set bits, 0 first.
    static const std::vector<std::uint16_t> &neighbourFlips();

    Table tables_[kPieces];
};

} // namespace quillmere
