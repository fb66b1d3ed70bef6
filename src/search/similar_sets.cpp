#include "search/similar_sets.h"

#include "imaging/fingerprint_layout.h"
#include "search/hash_index.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <thread>
#include <utility>

namespace quillmere {

static_assert(kHashGate <= HashIndex::kReach, "the index must find every pair the hash gate lets through");

namespace {

// A later picture within reach of an earlier one, as the fingerprints see it.
struct Match {
    int later = 0;      // position in best-copy order
    int similarity = 0; // by the fingerprints, 0..99
    bool askPixels = false; // the fingerprints cannot tell whether the pixels are equal
    bool sameBytes = false;
};

// Whether picture a goes before picture b as a set's best copy.
bool betterCopy(const FingerprintedPicture &a, int indexA, const FingerprintedPicture &b, int indexB)
{
    const std::int64_t pixelsA = std::int64_t {a.width} * a.height;
    const std::int64_t pixelsB = std::int64_t {b.width} * b.height;
    if (pixelsA != pixelsB) {
        return pixelsA > pixelsB;
    }
    if (a.bytes != b.bytes) {
        return a.bytes > b.bytes;
    }
    // An unknown date (0) counts as the newest.
    const double dateA = a.date == 0 ? std::numeric_limits<double>::infinity() : a.date;
    const double dateB = b.date == 0 ? std::numeric_limits<double>::infinity() : b.date;
    if (dateA != dateB) {
        return dateA < dateB;
    }
    return indexA < indexB;
}

bool sameBytes(const FingerprintedPicture &a, const FingerprintedPicture &b)
{
    return a.contentHash == b.contentHash && a.bytes == b.bytes;
}

// The pixel check is asked when the small decodes agree. Pictures reduced
// in different ways (a JPEG by its decoder, its PNG
// conversion by stretching) have different exact keys even when their
// pixels are equal, and are left at their fingerprints' similarity: asking
// the full decode for every very alike pair of one size took thousands of
// full decodes over a photo set with many converted copies, and no cheaper
// test tells equal pixels from a good lossy copy (both differ from the
// original's fingerprint by the reductions' rounding only).
bool pixelsInQuestion(const FingerprintedPicture &a, const FingerprintedPicture &b)
{
    return a.fingerprint.exactKey == b.fingerprint.exactKey && a.width == b.width && a.height == b.height;
}

// Everything the matching reads, in best-copy order.
struct Ordered {
    std::vector<int> picture; // position -> index into the pictures
    std::vector<FingerprintKey> key;
};

Ordered orderedOf(const std::vector<FingerprintedPicture> &pictures, bool turns)
{
    Ordered ordered;
    const int count = static_cast<int>(pictures.size());
    ordered.picture.resize(count);
    for (int i = 0; i < count; ++i) {
        ordered.picture[i] = i;
    }
    std::sort(ordered.picture.begin(), ordered.picture.end(),
              [&](int a, int b) { return betterCopy(pictures[a], a, pictures[b], b); });
    // The keys (their standing forms take a while) on every core, each
    // thread a share of the positions.
    ordered.key.resize(count);
    const auto keysOf = [&](int begin, int end) {
        for (int at = begin; at < end; ++at) {
            ordered.key[at] = KeyOf(pictures[ordered.picture[at]].fingerprint, turns);
        }
    };
    constexpr int kLeastShare = 4096;
    const int threads = static_cast<int>(
        std::clamp<unsigned>(std::thread::hardware_concurrency(), 1u, static_cast<unsigned>(count / kLeastShare + 1)));
    std::vector<std::thread> helpers;
    for (int thread = 1; thread < threads; ++thread) {
        helpers.emplace_back(keysOf, int(std::int64_t {count} * thread / threads),
                             int(std::int64_t {count} * (thread + 1) / threads));
    }
    keysOf(0, count / threads);
    for (std::thread &helper : helpers) {
        helper.join();
    }
    return ordered;
}

// Two indexes: of the pictures as they are, and (with turns) of their
// standing forms; a pair within the hash gate is found in one of them.
struct Indexes {
    HashIndex plain;
    HashIndex standing;
};

Indexes indexesOf(const Ordered &ordered)
{
    std::vector<std::uint64_t> plain;
    std::vector<std::uint32_t> plainIds;
    std::vector<std::uint64_t> standing;
    std::vector<std::uint32_t> standingIds;
    for (std::size_t at = 0; at < ordered.key.size(); ++at) {
        for (const std::uint64_t hash : IndexHashes(ordered.key[at], false)) {
            plain.push_back(hash);
            plainIds.push_back(static_cast<std::uint32_t>(at));
        }
        for (const std::uint64_t hash : IndexHashes(ordered.key[at], true)) {
            standing.push_back(hash);
            standingIds.push_back(static_cast<std::uint32_t>(at));
        }
    }
    return Indexes {HashIndex(plain, plainIds), HashIndex(standing, standingIds)};
}

// The matches of the pictures at [from, to) among the pictures after each:
// those at least leastPercent alike, and those whose equality the bytes or
// the pixels decide.
void matchesOf(std::uint32_t from, std::uint32_t to, const std::vector<FingerprintedPicture> &pictures,
               const Ordered &ordered, const Indexes &indexes, const SimilarityOptions &options, int leastPercent,
               std::vector<std::pair<std::uint32_t, std::uint32_t>> &pairs, std::vector<std::vector<Match>> &out)
{
    pairs.clear();
    indexes.plain.pairsFrom(from, to, pairs);
    indexes.standing.pairsFrom(from, to, pairs);
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    for (const auto &[at, later] : pairs) {
        const FingerprintedPicture &first = pictures[ordered.picture[at]];
        const FingerprintedPicture &other = pictures[ordered.picture[later]];
        Match match;
        match.later = static_cast<int>(later);
        match.sameBytes = sameBytes(first, other);
        match.askPixels = !match.sameBytes && pixelsInQuestion(first, other);
        match.similarity = KeySimilarity(ordered.key[at], ordered.key[later], options.turns);
        if (match.sameBytes || match.askPixels || match.similarity >= leastPercent) {
            out[at].push_back(match);
        }
    }
}

// Every picture's matches, on all cores; pump runs on this thread between
// batches. A batch reads every table of the index once, so batches are
// large, but not so large that Stop waits long.
std::vector<std::vector<Match>> allMatches(const std::vector<FingerprintedPicture> &pictures, const Ordered &ordered,
                                           const SimilarityOptions &options, int leastPercent,
                                           const std::function<void()> &pump)
{
    const int count = static_cast<int>(pictures.size());
    const Indexes indexes = indexesOf(ordered);
    std::vector<std::vector<Match>> matches(count);
    const int batch = std::clamp(count / 16, 256, 8192);
    std::atomic<int> nextBatch {0};
    std::atomic<bool> stop {false};
    auto work = [&](bool pumping) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
        while (!stop.load(std::memory_order_relaxed)) {
            const int begin = nextBatch.fetch_add(batch);
            if (begin >= count) {
                return;
            }
            matchesOf(static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(std::min(count, begin + batch)),
                      pictures, ordered, indexes, options, leastPercent, pairs, matches);
            if (pumping && pump) {
                pump();
            }
        }
    };
    const unsigned helpers = count > 4 * batch ? std::max(1u, std::thread::hardware_concurrency()) - 1 : 0;
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < helpers; ++i) {
        threads.emplace_back(work, false);
    }
    std::exception_ptr failure;
    try {
        work(true);
    } catch (...) {
        failure = std::current_exception();
        stop = true;
    }
    for (std::thread &thread : threads) {
        thread.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return matches;
}

} // namespace

std::vector<SimilarSet> GroupSimilarPictures(const std::vector<FingerprintedPicture> &pictures,
                                             const SimilarityOptions &options,
                                             const std::function<bool(int a, int b)> &samePixels,
                                             const std::function<void()> &pump)
{
    const int leastPercent = SimilarityLevelOf(options.level).leastPercent;
    const Ordered ordered = orderedOf(pictures, options.turns);
    const std::vector<std::vector<Match>> matches = allMatches(pictures, ordered, options, leastPercent, pump);

    // Greedy, best copy first: each picture not yet in a set gathers the
    // later ones still free that are within the level of it. Members are
    // measured against the first only, so no chain forms.
    std::vector<SimilarSet> sets;
    std::vector<bool> taken(pictures.size(), false);
    constexpr int kPumpEvery = 4096;
    for (std::size_t at = 0; at < matches.size(); ++at) {
        if (pump && at % kPumpEvery == kPumpEvery - 1) {
            pump();
        }
        if (taken[at] || matches[at].empty()) {
            continue;
        }
        const int first = ordered.picture[at];
        SimilarSet set;
        set.members.push_back(SimilarMember {first, 100});
        std::vector<int> positions {static_cast<int>(at)};
        for (const Match &match : matches[at]) {
            if (taken[match.later]) {
                continue;
            }
            const int other = ordered.picture[match.later];
            int similarity = match.similarity;
            if (match.sameBytes || (match.askPixels && samePixels && samePixels(first, other))) {
                similarity = 100;
            }
            if (similarity >= leastPercent) {
                set.members.push_back(SimilarMember {other, similarity});
                positions.push_back(match.later);
            }
        }
        if (set.members.size() < 2) {
            continue;
        }
        for (const int position : positions) {
            taken[position] = true;
        }
        sets.push_back(std::move(set));
    }
    return sets;
}

} // namespace quillmere
