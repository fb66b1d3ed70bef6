#include "search/hash_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <utility>

namespace quillmere {
namespace {

using Pair = std::pair<std::uint32_t, std::uint32_t>;

std::uint64_t flipped(std::uint64_t hash, int bits, std::mt19937_64 &random)
{
    std::vector<int> order(64);
    for (int bit = 0; bit < 64; ++bit) {
        order[bit] = bit;
    }
    std::shuffle(order.begin(), order.end(), random);
    for (int i = 0; i < bits; ++i) {
        hash ^= std::uint64_t {1} << order[i];
    }
    return hash;
}

// Hashes in families at distances on both sides of the reach, some ids with
// two hashes, and bits that nearly every hash has alike (as the sign a
// standing form fixes), which the index leaves out of its pieces but must
// still count.
struct Stored {
    std::vector<std::uint64_t> hashes;
    std::vector<std::uint32_t> ids;
};

Stored familiesOf(int families, unsigned seed)
{
    std::mt19937_64 random(seed);
    const auto lopsided = [&](std::uint64_t hash) {
        for (const int bit : {1, 8, 0}) {
            const bool set = random() % 20 != 0;
            hash = (hash & ~(std::uint64_t {1} << bit)) | (std::uint64_t {bit != 0 ? set : !set} << bit);
        }
        return hash;
    };
    Stored stored;
    std::uint32_t id = 0;
    for (int family = 0; family < families; ++family) {
        const std::uint64_t base = random();
        for (const int distance : {0, 1, 6, 10, 11, 11, 12, 13}) {
            // Given out of id order, to see that the order of filing does not matter.
            const std::uint32_t own = (id * 7919u) % 65521u;
            ++id;
            stored.hashes.push_back(lopsided(flipped(base, distance, random)));
            stored.ids.push_back(own);
            if (random() % 4 == 0) {
                stored.hashes.push_back(lopsided(flipped(base, 11, random)));
                stored.ids.push_back(own);
            }
        }
    }
    return stored;
}

std::set<Pair> everyPairWithin(const Stored &stored, int reach)
{
    std::set<Pair> pairs;
    for (std::size_t i = 0; i < stored.hashes.size(); ++i) {
        for (std::size_t j = 0; j < stored.hashes.size(); ++j) {
            if (stored.ids[i] < stored.ids[j] && BitsSet(stored.hashes[i] ^ stored.hashes[j]) <= reach) {
                pairs.insert({stored.ids[i], stored.ids[j]});
            }
        }
    }
    return pairs;
}

// The index finds exactly the pairs that comparing every two hashes finds,
// by every way of counting bits this processor offers, and whether asked
// for all first ids at once or range by range.
TEST(HashIndex, FindsEveryPairWithinReachAndNoOther)
{
    const Stored stored = familiesOf(300, 5);
    const std::set<Pair> expected = everyPairWithin(stored, HashIndex::kReach);
    ASSERT_GT(expected.size(), 2000u) << "the families make pairs";
    const HashIndex index(stored.hashes, stored.ids);

    for (const HashIndex::Counting counting : HashIndex::countingsHere()) {
        std::vector<Pair> all;
        index.pairsFrom(0, 65521, all, counting);
        EXPECT_EQ(std::set<Pair>(all.begin(), all.end()), expected) << "counting " << int(counting);
    }

    std::vector<Pair> byRanges;
    for (std::uint32_t from = 0; from < 65521; from += 1000) {
        std::vector<Pair> range;
        index.pairsFrom(from, from + 1000, range);
        for (const Pair &pair : range) {
            EXPECT_GE(pair.first, from);
            EXPECT_LT(pair.first, from + 1000);
        }
        byRanges.insert(byRanges.end(), range.begin(), range.end());
    }
    EXPECT_EQ(std::set<Pair>(byRanges.begin(), byRanges.end()), expected);
}

// Crowded and empty: hashes all alike fill one bucket of every table and
// pair with each other, every pair kept but its repeats from the six tables
// not piling up; nothing stored, nothing found.
TEST(HashIndex, AllAlikeAndNothingStored)
{
    constexpr std::uint32_t kAlike = 500;
    const std::vector<std::uint64_t> alike(kAlike, 0x0123456789ABCDEFull);
    std::vector<std::uint32_t> ids(kAlike);
    for (std::uint32_t i = 0; i < kAlike; ++i) {
        ids[i] = kAlike - 1 - i;
    }
    std::vector<Pair> found;
    HashIndex(alike, ids).pairsFrom(0, kAlike, found);
    const std::size_t everyPair = std::size_t {kAlike} * (kAlike - 1) / 2;
    EXPECT_LE(found.size(), 3 * everyPair) << "the repeats are dropped as they come";
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    EXPECT_EQ(found.size(), everyPair);
    EXPECT_TRUE(std::all_of(found.begin(), found.end(), [](const Pair &pair) { return pair.first < pair.second; }));

    found.clear();
    HashIndex({}, {}).pairsFrom(0, 50, found);
    EXPECT_TRUE(found.empty());
}

} // namespace
} // namespace quillmere
