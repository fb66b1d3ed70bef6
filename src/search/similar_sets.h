#pragma once

#include "imaging/picture_fingerprint.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace quillmere {

// How alike two pictures must be to stand in one set, from strictest to
// loosest. Each level is a least similarity in percent.
enum class SimilarityLevel {
    SamePicture, // 100%: the same upright pixels, whatever the bytes
    NearlyEqual, // resized or re-encoded copies
    Similar,     // also cropped a little, lighter or darker: the default
    Loose,       // more changed copies, at some risk of look-alikes
};

struct SimilarityLevelInfo {
    SimilarityLevel level;
    QString name;        // as the options page lists it
    const char *word;    // as --similar=LEVEL names it
    int leastPercent;    // the least similarity a member needs
    QString description; // one line for the tool tip and the README
};

// Every level, strictest first.
const std::vector<SimilarityLevelInfo> &SimilarityLevels();
const SimilarityLevelInfo &SimilarityLevelOf(SimilarityLevel level);
constexpr SimilarityLevel kDefaultSimilarityLevel = SimilarityLevel::Similar;

struct SimilarityOptions {
    SimilarityLevel level = kDefaultSimilarityLevel;
    bool turns = true; // turned (90, 180, 270 degrees) and mirrored copies count
};

// One picture as the grouping sees it.
struct FingerprintedPicture {
    PictureFingerprint fingerprint;
    int width = 0;  // the upright picture's full size
    int height = 0;
    std::int64_t bytes = 0;         // the file's length
    double date = 0;                // the creation date the table shows (0: none known)
    std::uint64_t contentHash = 0;  // of the file's bytes: equal bytes, equal hash
};

struct SimilarMember {
    int picture = 0;     // index into the pictures grouped
    int similarity = 0;  // percent, to the set's first member; 100 for the first
};

// One set: its first member is its best copy.
struct SimilarSet {
    std::vector<SimilarMember> members;
};

// Groups the pictures into sets of two or more. Each picture is in at most
// one set; every member is within the level of the set's first picture (no
// chains); the first picture of a set is its best copy: the most pixels,
// then the longest file, then the oldest date, then the earliest index.
// Sets come in the order of their first pictures by that same rule.
//
// Fingerprints are matched through an index, not pair by pair.
// `samePixels(a, b)` answers whether two pictures' upright pixels are equal
// when their fingerprints leave the question open (files of equal bytes are
// equal without asking); a member it says yes to has similarity 100. Left
// empty, only equal bytes give 100. `pump` is called every few thousand
// pictures and may throw to end the grouping.
std::vector<SimilarSet> GroupSimilarPictures(const std::vector<FingerprintedPicture> &pictures,
                                             const SimilarityOptions &options,
                                             const std::function<bool(int a, int b)> &samePixels = {},
                                             const std::function<void()> &pump = {});

} // namespace quillmere
