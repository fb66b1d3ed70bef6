#include "search/hash_index.h"

namespace quillmere {

std::uint64_t HashIndex::interleaved(std::uint64_t hash)
{
    std::uint64_t spread = 0;
    for (int bit = 0; bit < 64; ++bit) {
        spread |= (hash >> bit & 1) << ((bit % kPieces) * kPieceBits + bit / kPieces);
    }
    return spread;
}

HashIndex::HashIndex(const std::vector<std::uint64_t> &original, const std::vector<std::uint32_t> &ids)
{
    std::vector<std::uint64_t> hashes(original.size());
    for (std::size_t i = 0; i < original.size(); ++i) {
        hashes[i] = interleaved(original[i]);
    }
    for (int piece = 0; piece < kPieces; ++piece) {
        Table &table = tables_[piece];
        // Counting sort by bucket.
        table.start.assign(kBuckets + 1, 0);
        for (const std::uint64_t hash : hashes) {
            ++table.start[pieceOf(hash, piece) + 1];
        }
        for (int bucket = 0; bucket < kBuckets; ++bucket) {
            table.start[bucket + 1] += table.start[bucket];
        }
        std::vector<std::uint32_t> next(table.start.begin(), table.start.end() - 1);
        table.entries.resize(hashes.size());
        for (std::size_t i = 0; i < hashes.size(); ++i) {
            const unsigned bucket = pieceOf(hashes[i], piece);
            table.entries[next[bucket]++] = Entry {hashes[i], ids[i]};
        }
    }
}

const std::vector<std::uint16_t> &HashIndex::neighbourFlips()
{
    static const std::vector<std::uint16_t> flips = [] {
        std::vector<std::uint16_t> all {0};
        for (int high = 0; high < kPieceBits; ++high) {
            all.push_back(static_cast<std::uint16_t>(1u << high));
            for (int low = 0; low < high; ++low) {
                all.push_back(static_cast<std::uint16_t>((1u << high) | (1u << low)));
            }
        }
        return all;
    }();
    return flips;
}

} // namespace quillmere
