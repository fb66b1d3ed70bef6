#include "imaging/picture_content.h"
#include "imaging/picture_fingerprint.h"
#include "imaging/picture_format.h"
#include "search/similar_sets.h"
#include "support/exif_writer.h"
#include "support/heif_samples.h"
#include "support/made_up_photos.h"
#include "support/picture_fixtures.h"
#include "support/similar_copies.h"
#include "support/temp_tree.h"
#include "support/tiff_fixtures.h"
#include "support/webp_gif_fixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace quillmere {
namespace {

using namespace test;

// Writers of a QImage's pixels in each format, through the libraries'
// own encoders.
std::string asBmp(const QImage &image)
{
    BmpSpec recipe;
    recipe.width = image.width();
    recipe.height = image.height();
    recipe.pixels = packRows(image.width(), image.height(), 24, [&](int x, int y) { return image.pixel(x, y); });
    return buildBmp(recipe);
}

std::string asTiff(const QImage &image)
{
    TiffPage page;
    page.width = image.width();
    page.height = image.height();
    page.compression = 8;
    return encodeTiff({page}, [&](int, int x, int y, int c) {
        const QRgb colour = image.pixel(x, y);
        return static_cast<unsigned>(c == 0 ? qRed(colour) : c == 1 ? qGreen(colour) : qBlue(colour));
    });
}

std::string asWebP(const QImage &image)
{
    WebPSpec recipe;
    recipe.width = image.width();
    recipe.height = image.height();
    recipe.quality = 75;
    return encodeWebP(recipe, [&](int x, int y) { return image.pixel(x, y); });
}

std::string asHeif(const QImage &image, HeifSpec::Codec codec)
{
    HeifSpec recipe;
    recipe.width = image.width();
    recipe.height = image.height();
    recipe.codec = codec;
    recipe.quality = 70;
    return encodeHeif(recipe, [&](int x, int y) { return image.pixel(x, y); });
}

// 6 x 6 x 6 colours, nearest without dithering, as a careless converter does.
std::string asGif(const QImage &image)
{
    GifSpec recipe;
    recipe.width = image.width();
    recipe.height = image.height();
    for (int i = 0; i < 216; ++i) {
        recipe.colours.push_back(qRgb(i / 36 * 51, i / 6 % 6 * 51, i % 6 * 51));
    }
    recipe.images.push_back(GifImage {QRect(0, 0, image.width(), image.height()), false, -1, {}, [&](int x, int y) {
                                          const QRgb c = image.pixel(x, y);
                                          const auto step = [](int v) { return (v + 25) / 51; };
                                          return step(qRed(c)) * 36 + step(qGreen(c)) * 6 + step(qBlue(c));
                                      }});
    return encodeGif(recipe);
}

// A JPEG that stores the picture lying on its left side and says so in its
// EXIF orientation (6): upright, it is the picture itself.
std::string asJpegLyingDown(const QImage &image)
{
    return jpegWithExif(jpegOf(turned(image, 3)), exifBlockWithOrientation(6));
}

struct Change {
    const char *name;
    std::function<std::string(const QImage &)> file;
};

int leastPercent(SimilarityLevel level)
{
    return SimilarityLevelOf(level).leastPercent;
}

class FingerprintTest : public ::testing::Test {
protected:
    static constexpr unsigned kSeeds[] = {3, 17, 41};
    static QImage photo(unsigned seed, double view = 0) { return madeUpPhoto(seed, 480, 360, view); }

    PictureFingerprint fingerprintOf(const std::string &bytes)
    {
        const std::string path = tree_.writeFile("f" + std::to_string(files_++), bytes);
        const std::optional<FingerprintedFile> made = FingerprintPictureFile(path);
        EXPECT_TRUE(made.has_value());
        return made ? made->fingerprint : PictureFingerprint {};
    }

    TempTree tree_;
    int files_ = 0;
};

// Copies that went through the everyday changes are found at the default
// level without turns; those that differ only by format or size are found
// at the strict "nearly equal" level too.
TEST_F(FingerprintTest, ChangedCopiesStayAlike)
{
    const std::vector<std::pair<Change, SimilarityLevel>> changes = {
        {{"resized to a third", [](const QImage &p) { return pngOf(scaledToLongSide(p, 160)); }},
         SimilarityLevel::NearlyEqual},
        {{"JPEG quality 50", [](const QImage &p) { return jpegOf(p, 50); }}, SimilarityLevel::NearlyEqual},
        {{"WebP", asWebP}, SimilarityLevel::NearlyEqual},
        {{"HEIC", [](const QImage &p) { return asHeif(p, HeifSpec::Codec::Hevc); }}, SimilarityLevel::NearlyEqual},
        {{"AVIF", [](const QImage &p) { return asHeif(p, HeifSpec::Codec::Av1); }}, SimilarityLevel::NearlyEqual},
        {{"TIFF", asTiff}, SimilarityLevel::NearlyEqual},
        {{"BMP", asBmp}, SimilarityLevel::NearlyEqual},
        {{"GIF, 216 colours undithered", asGif}, SimilarityLevel::Similar},
        {{"JPEG lying down, EXIF-turned", asJpegLyingDown}, SimilarityLevel::NearlyEqual},
        {{"cropped 4% per side", [](const QImage &p) { return pngOf(cropped(p, 0.04)); }}, SimilarityLevel::Similar},
        {{"10% lighter", [](const QImage &p) { return pngOf(lightened(p, 1.1)); }}, SimilarityLevel::Similar},
        {{"10% darker", [](const QImage &p) { return pngOf(lightened(p, 0.9)); }}, SimilarityLevel::Similar},
        {{"10% more contrast", [](const QImage &p) { return pngOf(contrasted(p, 1.1)); }}, SimilarityLevel::Similar},
        {{"10% less contrast", [](const QImage &p) { return pngOf(contrasted(p, 0.9)); }}, SimilarityLevel::Similar},
    };
    for (const unsigned seed : kSeeds) {
        const QImage original = photo(seed);
        const PictureFingerprint first = fingerprintOf(pngOf(original));
        for (const auto &[change, level] : changes) {
            const int similarity = FingerprintSimilarity(first, fingerprintOf(change.file(original)), false);
            EXPECT_GE(similarity, leastPercent(level)) << change.name << ", photo " << seed;
            EXPECT_LT(similarity, 100) << change.name;
        }
    }
}

// Turned and mirrored copies count only when turns do; the same picture
// with turns is alike whichever way round it is compared.
TEST_F(FingerprintTest, TurnsCountOnlyWhenAsked)
{
    const std::vector<Change> turns = {
        {"turned 90", [](const QImage &p) { return pngOf(turned(p, 1)); }},
        {"turned 180", [](const QImage &p) { return pngOf(turned(p, 2)); }},
        {"turned 270", [](const QImage &p) { return jpegOf(turned(p, 3), 80); }},
        {"mirrored", [](const QImage &p) { return pngOf(mirrored(p)); }},
        {"mirrored and turned 90", [](const QImage &p) { return pngOf(turned(mirrored(p), 1)); }},
    };
    const int least = leastPercent(kDefaultSimilarityLevel);
    for (const unsigned seed : kSeeds) {
        const QImage original = photo(seed);
        const PictureFingerprint first = fingerprintOf(pngOf(original));
        for (const Change &change : turns) {
            const PictureFingerprint copy = fingerprintOf(change.file(original));
            EXPECT_GE(FingerprintSimilarity(first, copy, true), least) << change.name << ", photo " << seed;
            EXPECT_EQ(FingerprintSimilarity(first, copy, true), FingerprintSimilarity(copy, first, true))
                << change.name;
            EXPECT_LT(FingerprintSimilarity(first, copy, false), least) << change.name << ", photo " << seed;
        }
    }
}

// Distinct pictures that look alike stay below the default level, turns
// on: the same design in other colours, a grey copy, much lighter and much
// darker versions (a copy 10% lighter moves about 25 levels), red and blue
// swapped, a neighbouring view of the scene, another scene.
TEST_F(FingerprintTest, LookAlikesStayApart)
{
    const std::vector<Change> lookAlikes = {
        {"recoloured", [](const QImage &p) { return pngOf(recoloured(p)); }},
        {"grey copy", [](const QImage &p) { return pngOf(greyed(p)); }},
        {"38% of the range lighter", [](const QImage &p) { return pngOf(shifted(p, 97)); }},
        {"38% of the range darker", [](const QImage &p) { return pngOf(shifted(p, -97)); }},
        {"red and blue swapped", [](const QImage &p) { return pngOf(p.rgbSwapped()); }},
    };
    const int least = leastPercent(kDefaultSimilarityLevel);
    for (const unsigned seed : kSeeds) {
        const QImage original = photo(seed);
        const PictureFingerprint first = fingerprintOf(pngOf(original));
        for (const Change &change : lookAlikes) {
            EXPECT_LT(FingerprintSimilarity(first, fingerprintOf(change.file(original)), true), least)
                << change.name << ", photo " << seed;
        }
        EXPECT_LT(FingerprintSimilarity(first, fingerprintOf(pngOf(photo(seed, 0.15))), true), least)
            << "neighbouring view, photo " << seed;
        EXPECT_LT(FingerprintSimilarity(first, fingerprintOf(pngOf(photo(seed + 1))), true), least)
            << "another photo " << seed;
    }
}

// A copy cropped 5% per side is the original's inner window: nearly equal,
// where comparing the whole pictures would see the layout moved.
TEST_F(FingerprintTest, InnerFormFindsCrops)
{
    for (const unsigned seed : kSeeds) {
        const QImage original = photo(seed);
        const PictureFingerprint first = fingerprintOf(pngOf(original));
        const PictureFingerprint crop = fingerprintOf(jpegOf(cropped(original, 0.05), 90));
        EXPECT_GE(FingerprintSimilarity(first, crop, false), leastPercent(SimilarityLevel::NearlyEqual)) << "photo " << seed;
        EXPECT_GE(FingerprintSimilarity(crop, first, true), leastPercent(SimilarityLevel::NearlyEqual)) << "photo " << seed;
    }
}

// Brightness counts in levels whatever the picture's own brightness: 25
// levels lighter or darker is a copy of a dark picture as of a light one,
// 90 levels is another picture.
TEST_F(FingerprintTest, BrightnessCountsInLevels)
{
    for (const unsigned seed : kSeeds) {
        const QImage dark = lightened(photo(seed), 0.4);
        const QImage light = shifted(photo(seed), 60);
        const int least = leastPercent(kDefaultSimilarityLevel);
        const PictureFingerprint darkFirst = fingerprintOf(pngOf(dark));
        const PictureFingerprint lightFirst = fingerprintOf(pngOf(light));
        EXPECT_GE(FingerprintSimilarity(darkFirst, fingerprintOf(pngOf(shifted(dark, 25))), true), least) << seed;
        EXPECT_GE(FingerprintSimilarity(lightFirst, fingerprintOf(pngOf(shifted(light, -25))), true), least) << seed;
        EXPECT_LT(FingerprintSimilarity(darkFirst, fingerprintOf(pngOf(shifted(dark, 90))), true), least) << seed;
        EXPECT_LT(FingerprintSimilarity(lightFirst, fingerprintOf(pngOf(shifted(light, -90))), true), least) << seed;
    }
}

// A JPEG, whose small decode its decoder reduces, and a PNG of its decoded
// pixels, whose small decode is stretched: nearly equal by their
// fingerprints, and equal by the pixel check (which decodes as libjpeg's
// standard settings do).
TEST_F(FingerprintTest, LosslessConversionHasEqualPixels)
{
    const std::string jpeg = tree_.writeFile("photo.jpg", jpegOf(madeUpPhoto(12, 1024, 768), 85));
    const PictureFormat *format = PictureFormatOfContent(jpeg);
    ASSERT_NE(format, nullptr);
    const QImage decoded = UprightSmallDecode(*format, jpeg, QSize(1024, 768)).ToDisplayImage();
    ASSERT_EQ(decoded.size(), QSize(1024, 768));
    const std::string png = tree_.writeFile("photo.png", pngOf(decoded));
    const std::optional<FingerprintedFile> fromJpeg = FingerprintPictureFile(jpeg);
    const std::optional<FingerprintedFile> fromPng = FingerprintPictureFile(png);
    ASSERT_TRUE(fromJpeg && fromPng);
    EXPECT_GE(FingerprintSimilarity(fromJpeg->fingerprint, fromPng->fingerprint, true),
              leastPercent(SimilarityLevel::NearlyEqual));
    EXPECT_TRUE(UprightPixelsEqual(jpeg, png));
}

TEST_F(FingerprintTest, HundredIsLeftToEqualPixels)
{
    const PictureFingerprint fingerprint = fingerprintOf(pngOf(photo(5)));
    EXPECT_EQ(FingerprintSimilarity(fingerprint, fingerprint, true), 99);
    const PictureFingerprint bmp = fingerprintOf(asBmp(photo(5)));
    EXPECT_EQ(bmp.data, fingerprint.data) << "lossless formats decode the same pixels";
    EXPECT_EQ(bmp.exactKey, fingerprint.exactKey) << "and reduce them alike";
}

// Files that no format reads, or whose pixels are damaged, have no
// fingerprint and are never equal to anything; equal pixels in other
// formats are equal, one changed pixel is not.
TEST_F(FingerprintTest, PixelEqualityAndUnreadableFiles)
{
    QImage picture = photo(9).scaled(200, 150);
    const std::string png = tree_.writeFile("a.png", pngOf(picture));
    const std::string tiff = tree_.writeFile("a.tif", asTiff(picture));
    const std::string lying = tree_.writeFile("lying.tif", [&] {
        TiffPage page;
        page.width = 150;
        page.height = 200;
        page.orientation = 6;
        const QImage stored = turned(picture, 3);
        return encodeTiff({page}, [&](int, int x, int y, int c) {
            const QRgb colour = stored.pixel(x, y);
            return static_cast<unsigned>(c == 0 ? qRed(colour) : c == 1 ? qGreen(colour) : qBlue(colour));
        });
    }());
    picture.setPixel(100, 70, qRgb(0, 0, 0) == picture.pixel(100, 70) ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    const std::string changed = tree_.writeFile("b.bmp", asBmp(picture));
    const std::string broken = tree_.writeFile("broken.jpg", jpegOf(picture).substr(0, 300));
    const std::string notPicture = tree_.writeFile("text.jpg", "not a picture at all");
    const std::string fifo = tree_.makeFifo("fifo.jpg");

    EXPECT_TRUE(UprightPixelsEqual(png, tiff));
    EXPECT_TRUE(UprightPixelsEqual(png, lying)) << "equal once upright";
    EXPECT_FALSE(UprightPixelsEqual(png, changed));
    for (const std::string &bad : {broken, notPicture, fifo, tree_.path("missing.png")}) {
        EXPECT_FALSE(UprightPixelsEqual(png, bad)) << bad;
        EXPECT_FALSE(UprightPixelsEqual(bad, bad)) << bad;
    }
    for (const std::string &bad : {notPicture, fifo, tree_.path("missing.png")}) {
        EXPECT_FALSE(FingerprintPictureFile(bad).has_value()) << bad;
    }
    const std::optional<FingerprintedFile> upright = FingerprintPictureFile(lying);
    ASSERT_TRUE(upright.has_value());
    EXPECT_EQ(upright->size, QSize(200, 150));
}

} // namespace
} // namespace quillmere
