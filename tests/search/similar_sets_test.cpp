#include "imaging/bitmap.h"
#include "imaging/fingerprint_layout.h"
#include "search/similar_sets.h"
#include "support/made_up_photos.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <stdexcept>

namespace quillmere {
namespace {

using namespace test;

PictureFingerprint fingerprintOf(const QImage &image)
{
    TBitmap bitmap;
    bitmap.SetPixels(image.convertToFormat(QImage::Format_RGB32), 32);
    return FingerprintOfUpright(bitmap);
}

FingerprintedPicture pictureOf(const QImage &image, std::int64_t bytes, double date = 0, std::uint64_t contentHash = 0)
{
    FingerprintedPicture picture;
    picture.fingerprint = fingerprintOf(image);
    picture.width = image.width();
    picture.height = image.height();
    picture.bytes = bytes;
    picture.date = date;
    picture.contentHash = contentHash == 0 ? std::uint64_t(bytes) * 7919 + std::uint64_t(image.width()) : contentHash;
    return picture;
}

// The sets as lists of picture indexes, first member first.
std::vector<std::vector<int>> membersOf(const std::vector<SimilarSet> &sets)
{
    std::vector<std::vector<int>> all;
    for (const SimilarSet &set : sets) {
        std::vector<int> members;
        for (const SimilarMember &member : set.members) {
            members.push_back(member.picture);
        }
        all.push_back(members);
    }
    return all;
}

using Sets = std::vector<std::vector<int>>;

// The best copy leads its set: the most pixels, then the longest file, then
// the oldest date (an unknown date counting as the newest), then the first
// given; sets come in the order of their best copies.
TEST(SimilarSets, BestCopyLeadsEachSet)
{
    const QImage a = madeUpPhoto(1, 320, 240);
    const QImage b = madeUpPhoto(2, 320, 240);
    const std::vector<FingerprintedPicture> pictures = {
        pictureOf(scaledToLongSide(a, 160), 9000),   // 0: fewer pixels
        pictureOf(a, 500, 0),                        // 1: unknown date: newest
        pictureOf(a, 500, 2000.0),                   // 2
        pictureOf(a, 500, 1000.0),                   // 3: oldest of the largest
        pictureOf(madeUpPhoto(3, 320, 240), 800),    // 4: alone
        pictureOf(b, 400),                           // 5
        pictureOf(b, 600),                           // 6: longest of b
        pictureOf(b, 400),                           // 7: equal to 5 but later
    };
    const Sets sets = membersOf(GroupSimilarPictures(pictures, {}));
    EXPECT_EQ(sets, (Sets {{6, 5, 7}, {3, 2, 1, 0}}));
}

// Members are measured against the first only: A resembles B and B
// resembles C, A does not resemble C, so C stays out of A's set, and each
// picture is in one set at most.
TEST(SimilarSets, NoChains)
{
    const QImage photo = madeUpPhoto(4, 320, 240);
    const QImage a = photo;
    const QImage b = lightened(photo, 0.84);
    const QImage c = lightened(photo, 0.70);
    const int least = SimilarityLevelOf(kDefaultSimilarityLevel).leastPercent;
    ASSERT_GE(FingerprintSimilarity(fingerprintOf(a), fingerprintOf(b), true), least);
    ASSERT_GE(FingerprintSimilarity(fingerprintOf(b), fingerprintOf(c), true), least);
    ASSERT_LT(FingerprintSimilarity(fingerprintOf(a), fingerprintOf(c), true), least);

    const std::vector<FingerprintedPicture> pictures = {pictureOf(c, 100), pictureOf(b, 200), pictureOf(a, 300)};
    EXPECT_EQ(membersOf(GroupSimilarPictures(pictures, {})), (Sets {{2, 1}}));
    // With the middle one best, both others are within its level.
    const std::vector<FingerprintedPicture> middleFirst = {pictureOf(c, 100), pictureOf(b, 300), pictureOf(a, 200)};
    EXPECT_EQ(membersOf(GroupSimilarPictures(middleFirst, {})), (Sets {{1, 2, 0}}));
}

// 100% is for equal bytes, or for pictures the pixel check finds equal;
// that check is asked only when the small decodes and the sizes agree. The
// strictest level takes nothing less.
TEST(SimilarSets, HundredPercentTier)
{
    const QImage photo = madeUpPhoto(5, 320, 240);
    std::vector<FingerprintedPicture> pictures = {
        pictureOf(photo, 1000, 0, 42),                // 0
        pictureOf(photo, 1000, 0, 42),                // 1: equal bytes
        pictureOf(photo, 700, 0, 43),                 // 2: other bytes, same pixels
        pictureOf(scaledToLongSide(photo, 200), 300), // 3: resized
        pictureOf(lightened(photo, 1.05), 900, 0, 44) // 4: same size, other pixels
    };
    std::set<std::pair<int, int>> asked;
    const auto samePixels = [&](int x, int y) {
        asked.insert({x, y});
        return y == 2;
    };
    // Members in best-copy order, with 100 or "less" (-1) as similarity.
    for (const auto &[level, expected] : std::vector<std::pair<SimilarityLevel, std::vector<std::pair<int, int>>>> {
             {SimilarityLevel::SamePicture, {{0, 100}, {1, 100}, {2, 100}}},
             {SimilarityLevel::NearlyEqual, {{0, 100}, {1, 100}, {4, -1}, {2, 100}, {3, -1}}},
         }) {
        asked.clear();
        const std::vector<SimilarSet> sets = GroupSimilarPictures(pictures, {level, true}, samePixels);
        ASSERT_EQ(sets.size(), 1u);
        std::vector<std::pair<int, int>> members;
        for (const SimilarMember &member : sets[0].members) {
            members.push_back({member.picture, member.similarity == 100 ? 100 : -1});
        }
        EXPECT_EQ(members, expected);
        EXPECT_EQ(asked, (std::set<std::pair<int, int>> {{0, 2}})) << "only the pair of equal small decodes";
    }
    // Without a pixel check only equal bytes make 100%.
    const std::vector<SimilarSet> sets = GroupSimilarPictures(pictures, {SimilarityLevel::SamePicture, true});
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].members.size(), 2u);
}

TEST(SimilarSets, TurnedCopiesOnlyWithTurns)
{
    const QImage photo = madeUpPhoto(6, 320, 240);
    const std::vector<FingerprintedPicture> pictures = {pictureOf(photo, 100), pictureOf(turned(photo, 1), 90),
                                                        pictureOf(mirrored(photo), 80)};
    EXPECT_EQ(membersOf(GroupSimilarPictures(pictures, {kDefaultSimilarityLevel, true})), (Sets {{0, 1, 2}}));
    EXPECT_TRUE(GroupSimilarPictures(pictures, {kDefaultSimilarityLevel, false}).empty());
}

// Made-up fingerprints in families of near copies at many distances, so
// that the index is tried on pairs on both sides of every level.
std::vector<FingerprintedPicture> madeUpFingerprints(int families, unsigned seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> normal;
    std::uniform_int_distribution<int> copies(0, 3);
    std::uniform_real_distribution<double> spread(0.0, 0.35);
    std::vector<FingerprintedPicture> pictures;
    // One form of a family's picture: its luma frequencies near base.
    const auto formNear = [&](const std::vector<double> &base, double noise, double mean) {
        FingerprintForm form;
        std::vector<double> luma(kLumaCoefficients);
        double norm = 0;
        for (int i = 0; i < kLumaCoefficients; ++i) {
            luma[i] = base[i] + noise * normal(random) / (1 + i / 10.0);
            norm += luma[i] * luma[i];
        }
        for (int i = 0; i < kLumaCoefficients; ++i) {
            form.luma[i] = static_cast<std::int16_t>(std::lround(luma[i] / std::sqrt(norm) * kLumaUnit));
        }
        form.meanLuma = static_cast<std::uint16_t>((mean + 3 * noise * normal(random)) * 256);
        form.contrast = 16 * 40;
        return form;
    };
    const auto randomBase = [&] {
        std::vector<double> base(kLumaCoefficients);
        for (int i = 0; i < kLumaCoefficients; ++i) {
            base[i] = normal(random) / (1 + i / 10.0);
        }
        return base;
    };
    std::bernoulli_distribution cropped(0.3);
    for (int family = 0; family < families; ++family) {
        // The family's whole and inner forms; a cropped copy's whole form
        // is near the family's inner one, so that pairs are found through
        // the inner forms' hashes too.
        const std::vector<double> whole = randomBase();
        const std::vector<double> inner = randomBase();
        const double mean = 40 + 180 * std::abs(normal(random)) / 3;
        const int count = 1 + copies(random);
        for (int copy = 0; copy < count; ++copy) {
            const double noise = copy == 0 ? 0 : spread(random);
            FingerprintLayout layout;
            if (copy != 0 && cropped(random)) {
                layout.whole = formNear(inner, noise, mean);
                layout.inner = formNear(randomBase(), 0, mean);
            } else {
                layout.whole = formNear(whole, noise, mean);
                layout.inner = formNear(inner, noise, mean);
            }
            FingerprintedPicture picture;
            Pack(layout, picture.fingerprint);
            picture.width = 100 + copy;
            picture.height = 100;
            picture.bytes = 1000 + static_cast<int>(pictures.size());
            picture.contentHash = pictures.size() + 1;
            pictures.push_back(picture);
        }
    }
    return pictures;
}

// The index finds what comparing every pair finds: the same greedy sets,
// one picture after the other in best-copy order (more than one batch, so
// that the index is searched on several threads).
TEST(SimilarSets, IndexFindsWhatEveryPairFinds)
{
    const std::vector<FingerprintedPicture> pictures = madeUpFingerprints(450, 7);
    ASSERT_GT(pictures.size(), 1024u) << "more than one batch";
    for (const SimilarityOptions options : {SimilarityOptions {SimilarityLevel::Loose, false},
                                            SimilarityOptions {SimilarityLevel::Similar, true}}) {
        const int least = SimilarityLevelOf(options.level).leastPercent;
        // Every pair, in best-copy order: here the most pixels, then the
        // longest file.
        std::vector<int> order(pictures.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = static_cast<int>(i);
        }
        std::sort(order.begin(), order.end(), [&](int a, int b) {
            return std::tie(pictures[b].width, pictures[b].bytes) < std::tie(pictures[a].width, pictures[a].bytes);
        });
        std::vector<FingerprintKey> keys;
        for (const FingerprintedPicture &picture : pictures) {
            keys.push_back(KeyOf(picture.fingerprint, options.turns));
        }
        std::vector<bool> taken(pictures.size(), false);
        std::vector<std::vector<std::pair<int, int>>> expected;
        for (std::size_t i = 0; i < order.size(); ++i) {
            if (taken[order[i]]) {
                continue;
            }
            std::vector<std::pair<int, int>> set {{order[i], 100}};
            for (std::size_t j = i + 1; j < order.size(); ++j) {
                const int similarity = KeySimilarity(keys[order[i]], keys[order[j]], options.turns);
                if (!taken[order[j]] && similarity >= least) {
                    set.push_back({order[j], similarity});
                }
            }
            if (set.size() > 1) {
                for (const auto &[picture, similarity] : set) {
                    taken[picture] = true;
                }
                expected.push_back(set);
            }
        }
        std::vector<std::vector<std::pair<int, int>>> found;
        for (const SimilarSet &set : GroupSimilarPictures(pictures, options)) {
            found.emplace_back();
            for (const SimilarMember &member : set.members) {
                found.back().push_back({member.picture, member.similarity});
            }
        }
        EXPECT_GT(expected.size(), 100u) << "the families make sets";
        EXPECT_EQ(found, expected) << "level " << least << (options.turns ? " with turns" : "");
    }
}

TEST(SimilarSets, PumpEndsTheGrouping)
{
    const std::vector<FingerprintedPicture> pictures = madeUpFingerprints(2500, 8);
    int pumps = 0;
    EXPECT_THROW(GroupSimilarPictures(pictures, {}, {},
                                      [&] {
                                          if (++pumps == 2) {
                                              throw std::runtime_error("stop");
                                          }
                                      }),
                 std::runtime_error);
    EXPECT_EQ(pumps, 2);
}

} // namespace
} // namespace quillmere
