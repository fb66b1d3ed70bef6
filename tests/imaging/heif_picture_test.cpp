// HEIC and AVIF files: what their pictures look like once decoded (rotation
// and mirror; stored thumbnails, which only the HEIC reader uses). Their
// alpha and hostile files are in the tables over all formats
// (format_cases_test.cpp).
#include "support/heif_samples.h"
#include "imaging/avif_format.h"
#include "imaging/bitmap.h"
#include "imaging/decode_cancel.h"
#include "imaging/heif_format.h"
#include "imaging/picture_format.h"
#include "support/picture_fixtures.h"
#include "support/pictures.h"
#include "support/temp_tree.h"

#include <avif/avif.h>
#include <gtest/gtest.h>
#include <stdexcept>

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

// An AVIF file written by libavif's own encoder, its turn (as EXIF numbers
// it: 1, 2, 3, 6 or 8) stored in rotation and mirror boxes. libheif's AV1
// writer stores quarter turns in a form only libheif reads back as meant,
// so the turned AVIF files come from here.
std::string encodeTurnedAvif(int width, int height, int orientation, const std::function<QRgb(int, int)> &colour)
{
    avifImage *image = avifImageCreate(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 8,
                                       AVIF_PIXEL_FORMAT_YUV444);
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.format = AVIF_RGB_FORMAT_RGBA;
    rgb.depth = 8;
    avifRGBImageAllocatePixels(&rgb);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const QRgb c = colour(x, y);
            std::uint8_t *p = rgb.pixels + static_cast<std::size_t>(y) * rgb.rowBytes + static_cast<std::size_t>(x) * 4;
            p[0] = static_cast<std::uint8_t>(qRed(c));
            p[1] = static_cast<std::uint8_t>(qGreen(c));
            p[2] = static_cast<std::uint8_t>(qBlue(c));
            p[3] = 255;
        }
    }
    avifResult result = avifImageRGBToYUV(image, &rgb);
    avifRGBImageFreePixels(&rgb);
    // The boxes turn anticlockwise, then mirror.
    switch (orientation) {
    case 2:
        image->transformFlags = AVIF_TRANSFORM_IMIR;
        image->imir.mode = 1; // left and right exchanged
        break;
    case 3:
    case 6:
    case 8:
        image->transformFlags = AVIF_TRANSFORM_IROT;
        image->irot.angle = orientation == 3 ? 2 : orientation == 6 ? 3 : 1;
        break;
    default:
        break;
    }
    avifRWData output = AVIF_DATA_EMPTY;
    if (result == AVIF_RESULT_OK) {
        avifEncoder *encoder = avifEncoderCreate();
        encoder->maxThreads = 1;
        encoder->speed = AVIF_SPEED_FASTEST;
        encoder->minQuantizer = 10;
        encoder->maxQuantizer = 10;
        result = avifEncoderWrite(encoder, image, &output);
        avifEncoderDestroy(encoder);
    }
    avifImageDestroy(image);
    const std::string bytes(reinterpret_cast<const char *>(output.data), output.size);
    avifRWDataFree(&output);
    if (result != AVIF_RESULT_OK) {
        throw std::runtime_error(std::string("AVIF encoder: ") + avifResultToString(result));
    }
    return bytes;
}

bool near(QRgb a, QRgb b)
{
    return colourDistance(a, b) <= 24;
}

QRgb pixelOf(const TBitmap &bitmap, int x, int y)
{
    return bitmap.ToDisplayImage().pixel(x, y);
}

} // namespace

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
            const auto colour = [](int x, int) { return x < 32 ? kRed : kBlue; };
            const std::string path = tree.writeFile(
                "turned" + std::to_string(turn.orientation) + "." + kind.extension,
                kind.codec == HeifSpec::Codec::Av1 ? encodeTurnedAvif(64, 32, turn.orientation, colour)
                                                   : encodeHeif(recipe, colour));
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
            // libavif reads the primary picture alone: an AVIF file always
            // shows its own picture.
            const bool usesThumbnails = &kind.format == &heicFormat();
            const bool coversRow = usesThumbnails && thumbnailSize.width() >= 100;

            const FormatThumbnail row = kind.format.rowThumbnail(path);
            EXPECT_TRUE(row.ownPicture) << what;
            EXPECT_EQ(row.size, QSize(512, 384)) << what; // the picture's own size, not the thumbnail's
            EXPECT_PRED2(near, row.thumbnail.ToDisplayImage().pixel(50, 37), coversRow ? kGreen : kRed) << what;

            const TBitmap small = kind.format.smallDecode(path, QSize(60, 40));
            EXPECT_PRED2(near, pixelOf(small, 10, 10), usesThumbnails ? kGreen : kRed) << what;
            EXPECT_LE(small.Width(), usesThumbnails ? thumbnailSize.width() : 128) << what;
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
