#include "search/hash_index.h"

namespace quillmere {

HashIndex::HashIndex(const std::vector<std::uint64_t> &hashes, const std::vector<std::uint32_t> &ids)
{
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
        for (int i = 0; i < 16; ++i) {
            all.push_back(static_cast<std::uint16_t>(1u << i));
        }
        for (int i = 0; i < 16; ++i) {
            for (int j = i + 1; j < 16; ++j) {
                all.push_back(static_cast<std::uint16_t>((1u << i) | (1u << j)));
            }
        }
        for (int i = 0; i < 16; ++i) {
            for (int j = i + 1; j < 16; ++j) {
                for (int k = j + 1; k < 16; ++k) {
                    all.push_back(static_cast<std::uint16_t>((1u << i) | (1u << j) | (1u << k)));
                }
            }
        }
        return all;
    }();
    return flips;
}

} // namespace quillmere
