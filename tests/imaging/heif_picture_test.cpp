// HEIC and AVIF files: what their pictures look like once decoded (alpha,
// rotation and mirror, stored thumbnails), and small files whose headers
// claim far more than their bytes hold.
#include "support/heif_samples.h"
#include "imaging/bitmap.h"
#include "imaging/decode_cancel.h"
#include "imaging/heif_format.h"
#include "imaging/picture_format.h"
#include "support/picture_fixtures.h"
#include "support/error_text.h"
#include "support/pictures.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

using namespace quillmere;
using namespace quillmere::test;

namespace {

const QRgb kRed = qRgb(220, 20, 20);
const QRgb kBlue = qRgb(20, 20, 220);
const QRgb kGreen = qRgb(20, 220, 20);

// Both formats, each with the codec it is written in.
struct Kind {
    const PictureFormat &format;
    HeifSpec::Codec codec;
    const char *extension;
};
const std::vector<Kind> &kinds()
{
    static const std::vector<Kind> all = {{heicFormat(), HeifSpec::Codec::Hevc, "heic"},
                                          {avifFormat(), HeifSpec::Codec::Av1, "avif"}};
    return all;
}

bool near(QRgb a, QRgb b)
{
    return colourDistance(a, b) <= 24;
}

std::string colourText(QRgb c)
{
    return std::to_string(qRed(c)) + "," + std::to_string(qGreen(c)) + "," + std::to_string(qBlue(c));
}

QRgb pixelOf(const TBitmap &bitmap, int x, int y)
{
    return bitmap.ToDisplayImage().pixel(x, y);
}

} // namespace

TEST(HeifPictures, transparencyIsLaidOverWhite)
{
    TempTree tree;
    for (const Kind &kind : kinds()) {
        HeifSpec recipe;
        recipe.width = 64;
        recipe.height = 64;
        recipe.codec = kind.codec;
        recipe.alpha = true;
        recipe.quality = 100;
        // Left half opaque red, right half red at half alpha, bottom quarter
        // fully transparent.
        const std::string path = tree.writeFile(std::string("alpha.") + kind.extension, encodeHeif(recipe, [](int x, int y) {
            return qRgba(220, 20, 20, y >= 48 ? 0 : x < 32 ? 255 : 128);
        }));
        const TBitmap decoded = kind.format.smallDecode(path, QSize(64, 64));
        const std::string what = kind.extension;
        EXPECT_PRED2(near, pixelOf(decoded, 8, 8), kRed) << what << " " << colourText(pixelOf(decoded, 8, 8));
        EXPECT_PRED2(near, pixelOf(decoded, 56, 8), qRgb(237, 137, 137)) << what << " " << colourText(pixelOf(decoded, 56, 8));
        EXPECT_PRED2(near, pixelOf(decoded, 8, 60), qRgb(255, 255, 255)) << what << " " << colourText(pixelOf(decoded, 8, 60));
    }
}

TEST(HeifPictures, rotationAndMirrorBoxesShowThePictureUpright)
{
    TempTree tree;
    // Stored 64 x 32: red on the left half, blue on the right. Each
    // orientation (as EXIF counts them) with where red and blue end up.
    struct Turn {
        int orientation;
        QSize upright;
        QPoint red;
        QPoint blue;
    };
    const std::vector<Turn> turns = {
        {1, QSize(64, 32), QPoint(8, 16), QPoint(56, 16)},
        {2, QSize(64, 32), QPoint(56, 16), QPoint(8, 16)}, // mirrored left to right
        {3, QSize(64, 32), QPoint(56, 16), QPoint(8, 16)}, // half a turn
        {6, QSize(32, 64), QPoint(16, 8), QPoint(16, 56)}, // a quarter turn clockwise
        {8, QSize(32, 64), QPoint(16, 56), QPoint(16, 8)}, // a quarter turn the other way
    };
    for (const Kind &kind : kinds()) {
        for (const Turn &turn : turns) {
            HeifSpec recipe;
            recipe.width = 64;
            recipe.height = 32;
            recipe.codec = kind.codec;
            recipe.orientation = turn.orientation;
            const std::string path =
                tree.writeFile("turned" + std::to_string(turn.orientation) + "." + kind.extension,
                               encodeHeif(recipe, [](int x, int) { return x < 32 ? kRed : kBlue; }));
            const std::string what = std::string(kind.extension) + " orientation " + std::to_string(turn.orientation);
            EXPECT_EQ(kind.format.pictureSize(path), turn.upright) << what;
            // The decoder has turned it: nothing is left for the program to turn.
            EXPECT_EQ(kind.format.orientation(path), 1) << what;
            const TBitmap decoded = kind.format.smallDecode(path, turn.upright);
            ASSERT_EQ(QSize(decoded.Width(), decoded.Height()), turn.upright) << what;
            EXPECT_PRED2(near, pixelOf(decoded, turn.red.x(), turn.red.y()), kRed) << what;
            EXPECT_PRED2(near, pixelOf(decoded, turn.blue.x(), turn.blue.y()), kBlue) << what;
            const FormatThumbnail row = kind.format.rowThumbnail(path);
            EXPECT_EQ(row.size, turn.upright) << what;
        }
    }
}

TEST(HeifPictures, aStoredThumbnailServesWhenItCoversTheAskedSize)
{
    TempTree tree;
    for (const Kind &kind : kinds()) {
        // A red 512 x 384 picture whose stored thumbnail is green, so that
        // the picture drawn shows which of the two was decoded.
        for (const QSize thumbnailSize : {QSize(128, 96), QSize(64, 48)}) {
            HeifSpec recipe;
            recipe.width = 512;
            recipe.height = 384;
            recipe.codec = kind.codec;
            recipe.thumbnailWidth = thumbnailSize.width();
            recipe.thumbnailHeight = thumbnailSize.height();
            recipe.thumbnailColour = [](int, int) { return kGreen; };
            const std::string path = tree.writeFile("thumbnailed" + std::to_string(thumbnailSize.width()) + "." +
                                                        kind.extension,
                                                    encodeHeif(recipe, [](int, int) { return kRed; }));
            const std::string what = std::string(kind.extension) + " thumbnail " + std::to_string(thumbnailSize.width());
            const bool coversRow = thumbnailSize.width() >= 100;

            const FormatThumbnail row = kind.format.rowThumbnail(path);
            EXPECT_TRUE(row.ownPicture) << what;
            EXPECT_EQ(row.size, QSize(512, 384)) << what; // the picture's own size, not the thumbnail's
            EXPECT_PRED2(near, row.thumbnail.ToDisplayImage().pixel(50, 37), coversRow ? kGreen : kRed) << what;

            const TBitmap small = kind.format.smallDecode(path, QSize(60, 40));
            EXPECT_PRED2(near, pixelOf(small, 10, 10), kGreen) << what;
            EXPECT_LE(small.Width(), thumbnailSize.width()) << what;
            // Larger than the thumbnail: the picture itself.
            const TBitmap large = kind.format.smallDecode(path, QSize(200, 150));
            EXPECT_PRED2(near, pixelOf(large, 10, 10), kRed) << what;
            EXPECT_GE(large.Width(), 200) << what;
        }
    }
}

TEST(HeifPictures, aCancelledDecodeEndsWithAnError)
{
    TempTree tree;
    HeifSpec recipe;
    const std::string path = tree.writeFile("c.heic", encodeHeif(recipe, [](int, int) { return kRed; }));
    std::atomic<bool> cancelled{true};
    DecodeCancelScope scope(cancelled);
    EXPECT_THROW(heicFormat().smallDecode(path, QSize(8, 8)), EHEIF);
    EXPECT_FALSE(heicFormat().rowThumbnail(path).ownPicture);
}

TEST(HeifPictures, smallFilesClaimingMoreThanTheyHoldGetTheStandIn)
{
    TempTree tree;
    HeifSpec tileRecipe;
    tileRecipe.width = 64;
    tileRecipe.height = 64;
    const std::string tile = encodeHeif(tileRecipe, [](int x, int y) { return qRgb(x * 4, y * 4, 90); });
    HeifSpec largeRecipe;
    largeRecipe.width = 1024;
    largeRecipe.height = 1024;
    largeRecipe.quality = 10;
    const std::string large = encodeHeif(largeRecipe, [](int, int) { return kBlue; });

    struct Hostile {
        const char *what;
        std::string file;
        std::optional<QSize> shownSize; // the size the row shows: the header's, or none
        const char *error;              // a part of the error the decode raises
    };
    const std::vector<Hostile> hostile = {
        // Beyond the pixel cap.
        {"claims 60000 x 60000", withHeifClaimedSize(tile, 60000, 60000), std::nullopt, "Image too large"},
        // Within the cap, but a picture of 25 megapixels from 800 bytes.
        {"claims 5000 x 5000", withHeifClaimedSize(tile, 5000, 5000), std::nullopt, "out of proportion"},
        // A grid of 64 x 64 tiles whose grid box says 4000 x 4000 while its
        // size property says 128 x 128: libheif would build the canvas the
        // grid box says.
        {"grid larger than stated", heifGrid(tile, 2, 2, 4000, 4000, 128, 128), std::nullopt, "Security limit"},
        // 10,000 tiles of 64 x 64 from 20 KB.
        {"grid of 10,000 tiles", heifGrid(tile, 100, 100, 6400, 6400, 6400, 6400), std::nullopt,
         "out of proportion"},
        // A coded picture of 1024 x 1024 whose size property says 64 x 64.
        {"coded larger than stated", withHeifClaimedSize(large, 64, 64), std::nullopt, "Security limit"},
        // Cut in the middle of its coded data: libheif reads none of it.
        {"cut short", tile.substr(0, tile.size() - 300), QSize(100, 80), "HEIF error"},
        // A file type box and nothing else.
        {"file type box alone", tile.substr(0, 24), QSize(100, 80), "HEIF error"},
    };
    for (const Hostile &h : hostile) {
        const std::string path = tree.writeFile("hostile.heic", h.file);
        const FormatThumbnail row = heicFormat().rowThumbnail(path);
        EXPECT_FALSE(row.ownPicture) << h.what;
        EXPECT_EQ(row.thumbnail.ToDisplayImage(), fallbackThumbnail()) << h.what;
        EXPECT_EQ(row.size, h.shownSize) << h.what;
        const std::string error = errorTextOf<EHEIF>([&] { heicFormat().smallDecode(path, QSize(100, 75)); });
        EXPECT_NE(error.find(h.error), std::string::npos) << h.what << ": " << error;
    }

    // Claims a small file may make are decoded: 7.8 megapixels claimed by a
    // 64 x 64 picture, and a 2 x 2 grid stated as it is.
    for (const std::string &file : {withHeifClaimedSize(tile, 2800, 2800), heifGrid(tile, 2, 2, 128, 128, 128, 128)}) {
        const FormatThumbnail row = heicFormat().rowThumbnail(tree.writeFile("fair.heic", file));
        EXPECT_TRUE(row.ownPicture);
    }
}
