// Small files whose headers claim huge pictures, many scans or data that is
// not there: each must cost what its bytes can honestly ask for, measured in
// memory the decoders take and rows they decode, never in time.
#include "imaging/bitmap.h"
#include "imaging/bmp_reader.h"
#include "imaging/byte_source.h"
#include "imaging/image_list.h"
#include "imaging/jpeg_codec.h"
#include "imaging/jpeg_format.h"
#include "imaging/picture_limits.h"
#include "imaging/row_thumbnail.h"
#include "support/picture_fixtures.h"
#include "support/pictures.h"
#include "support/error_text.h"
#include "support/temp_tree.h"

#include <QPainter>
#include <gtest/gtest.h>
#include <jerror.h>
#include <jpeglib.h>

using namespace quillmere;
using namespace quillmere::test;

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

QRgb noise(int x, int y)
{
    const unsigned v = static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u;
    return qRgb(static_cast<int>(v & 255), static_cast<int>((v >> 8) & 255), static_cast<int>((v >> 16) & 255));
}

std::string jpegError(int code)
{
    return "JPEG error #" + std::to_string(code);
}

// The thumbnail of jpeg, with what it cost, or the error it raised.
struct Streamed {
    std::string error = "no error";
    JpegCost cost;
    QImage thumbnail;
};
Streamed streamJpeg(const std::string &jpeg)
{
    Streamed out;
    out.thumbnail = QImage(100, 75, QImage::Format_RGB32);
    out.thumbnail.fill(Qt::white);
    out.error = errorTextOf<EJPEG>([&] { stretchJpeg(bytes(jpeg), jpeg.size(), out.thumbnail, out.thumbnail.rect(), &out.cost); });
    return out;
}

// A small progressive file claiming width x height: its few kilobytes code a
// tiny picture, and every scan of the claimed one would be empty.
std::string progressiveClaiming(int width, int height, JpegSpec::Colour colour, int singleCoefficientScans)
{
    JpegSpec recipe;
    recipe.width = 48;
    recipe.height = 48;
    recipe.colour = colour;
    recipe.progressive = singleCoefficientScans == 0;
    recipe.singleCoefficientScans = singleCoefficientScans;
    return withJpegFrameSize(encodeJpeg(recipe, noise), width, height);
}

// A baseline file claiming width x height whose data ends after a strip.
std::string truncatedClaiming(int width, int height, JpegSpec::Colour colour = JpegSpec::Colour::Rgb)
{
    JpegSpec recipe;
    recipe.width = 256;
    recipe.height = 64;
    recipe.colour = colour;
    return withJpegFrameSize(encodeJpeg(recipe, noise), width, height);
}

// Counts the bytes a reader actually reads (skipped bytes are not read).
class CountingSource final : public ByteSource {
public:
    explicit CountingSource(const std::string &data)
        : inner_(data.data(), data.size())
    {
    }
    std::size_t read(void *buffer, std::size_t count) override
    {
        const std::size_t got = inner_.read(buffer, count);
        bytesRead += got;
        return got;
    }
    std::uint64_t remaining() const override { return inner_.remaining(); }
    std::uint64_t skip(std::uint64_t count) override { return inner_.skip(count); }
    std::uint64_t bytesRead = 0;

private:
    MemorySource inner_;
};

} // namespace

TEST(HostilePictures, progressiveFilesClaimingHugePicturesAreRefusedBeforeAnyCoefficientIsHeld)
{
    // A 3 KB progressive CMYK file claiming 16000 x 16000 in 97 scans, and a
    // progressive RGB one claiming 16384 x 16384: their coefficients alone
    // would take 2 GB and 768 MB.
    const std::string cmyk = progressiveClaiming(16000, 16000, JpegSpec::Colour::CmykAdobe, 24);
    const std::string rgb = progressiveClaiming(16384, 16384, JpegSpec::Colour::Rgb, 0);
    ASSERT_LT(cmyk.size(), 8000u);
    for (const std::string &file : {cmyk, rgb}) {
        const Streamed thumbnail = streamJpeg(file);
        EXPECT_EQ(thumbnail.error, jpegError(JERR_IMAGE_TOO_BIG));
        EXPECT_LT(thumbnail.cost.libraryPeakBytes, kMiB);
        EXPECT_EQ(thumbnail.cost.rowsDecoded, 0u);
        // The image view's decoding is refused alike.
        TBitmap view;
        JpegCost cost;
        EXPECT_EQ(errorTextOf<EJPEG>([&] { decodeJpeg(bytes(file), file.size(), view, QSize(700, 450), &cost); }),
                  jpegError(JERR_IMAGE_TOO_BIG));
        EXPECT_LT(cost.libraryPeakBytes, kMiB);
        EXPECT_TRUE(view.Empty());
    }
}

TEST(HostilePictures, scanLimitIsCheckedInTheMarkersBeforeDecoding)
{
    // 190 scans over a picture whose size its bytes can account for: refused
    // before the first scan, so no coefficient buffer is ever taken.
    JpegSpec recipe;
    recipe.width = 512;
    recipe.height = 512;
    recipe.singleCoefficientScans = 63;
    const std::string file = encodeJpeg(recipe, noise);
    const Streamed thumbnail = streamJpeg(file);
    EXPECT_EQ(thumbnail.error, jpegError(JERR_NOTIMPL));
    const std::uint64_t coefficients = 3ull * 64 * 64 * sizeof(JBLOCK);
    EXPECT_LT(thumbnail.cost.libraryPeakBytes, coefficients);

    // 64 scans of a grayscale picture are fine and decode in full.
    recipe.colour = JpegSpec::Colour::Gray;
    const Streamed gray = streamJpeg(encodeJpeg(recipe, noise));
    EXPECT_EQ(gray.error, "no error");
    EXPECT_GE(gray.cost.libraryPeakBytes, 64ull * 64 * sizeof(JBLOCK));
}

TEST(HostilePictures, cutBaselineFilesDecodeOnlyTheRowsTheThumbnailTakes)
{
    // 23 KB of data claiming 16384 x 16384: the full decode took 1 GB for a
    // grey picture. The thumbnail decodes at most one 16-row band per
    // thumbnail row, and holds one output row.
    const std::string file = truncatedClaiming(16384, 16384);
    const Streamed thumbnail = streamJpeg(file);
    EXPECT_EQ(thumbnail.error, "no error");
    EXPECT_LE(thumbnail.cost.rowsDecoded, 75u * 16);
    EXPECT_LT(thumbnail.cost.libraryPeakBytes, 8 * kMiB);
    // Below the received strip the decoder fills in mid grey.
    EXPECT_EQ(thumbnail.thumbnail.pixel(50, 70), qRgb(128, 128, 128));

    // The image view decodes at 1/8 scale: 2048 x 2048 still covers a window.
    TBitmap view;
    JpegCost cost;
    decodeJpeg(bytes(file), file.size(), view, QSize(700, 450), &cost);
    EXPECT_EQ(view.Width(), 2048);
    EXPECT_EQ(cost.rowsDecoded, 2048u);
    EXPECT_LT(cost.libraryPeakBytes, 8 * kMiB);

    // A grayscale one cannot skip rows (its dither runs through all of them),
    // so a picture so far beyond its file is refused instead.
    const Streamed gray = streamJpeg(truncatedClaiming(16384, 16384, JpegSpec::Colour::Gray));
    EXPECT_EQ(gray.error, jpegError(JERR_IMAGE_TOO_BIG));
    EXPECT_EQ(gray.cost.rowsDecoded, 0u);
}

TEST(HostilePictures, theImageViewDecodesAtTheSmallestScaleThatFillsIt)
{
    JpegSpec recipe;
    recipe.width = 1600;
    recipe.height = 1200;
    const std::string file = encodeJpeg(recipe, noise);
    TBitmap view;
    JpegCost cost;
    decodeJpeg(bytes(file), file.size(), view, QSize(700, 450), &cost); // 4/8 gives 800 x 600
    EXPECT_EQ(view.Width(), 800);
    EXPECT_EQ(view.Height(), 600);
    EXPECT_EQ(cost.rowsDecoded, 600u);
    decodeJpeg(bytes(file), file.size(), view, QSize(1700, 10)); // wider than the picture: full size
    EXPECT_EQ(view.Width(), 1600);

    // Painted through the picture, the full-size bitmap is never made.
    TJPEGImage picture;
    picture.LoadFromBytes(std::vector<std::uint8_t>(file.begin(), file.end()));
    QImage window(700, 450, QImage::Format_RGB32);
    QPainter painter(&window);
    picture.Draw(painter, window.rect());
    painter.end();
    EXPECT_EQ(picture.Bitmap(), nullptr);
    EXPECT_EQ(picture.Width(), 1600);
}

TEST(HostilePictures, libjpegMemoryStaysWithinThePixelCap)
{
    // Under a cap of 1 megapixel (4 MB), a 1000 x 1000 progressive 4:4:4
    // picture passes the size check but needs 6 MB of coefficients: the
    // library is refused the memory instead of taking it.
    const std::uint64_t cap = maxPicturePixels();
    setMaxPicturePixels(1u << 20);
    JpegSpec recipe;
    recipe.width = 1000;
    recipe.height = 1000;
    recipe.colour = JpegSpec::Colour::Gray;
    recipe.progressive = true;
    const std::string gray = encodeJpeg(recipe, noise); // 2 MB of coefficients: fits
    recipe.colour = JpegSpec::Colour::CmykPlain;        // four components: 8 MB, does not
    const std::string cmyk = encodeJpeg(recipe, noise);
    TBitmap whole;
    JpegCost cost;
    EXPECT_NO_THROW(decodeJpeg(bytes(gray), gray.size(), whole, QSize(), &cost));
    EXPECT_LE(cost.libraryPeakBytes + whole.HeldBytes(), 4 * kMiB);
    const std::string error = errorTextOf<EJPEG>([&] { decodeJpeg(bytes(cmyk), cmyk.size(), whole, QSize(), &cost); });
    EXPECT_TRUE(error == jpegError(JERR_OUT_OF_MEMORY) || error == jpegError(JERR_NO_BACKING_STORE)) << error;
    EXPECT_LE(cost.libraryPeakBytes, 4 * kMiB);
    setMaxPicturePixels(cap);
}

TEST(HostilePictures, bmpHeadersClaimingHugePicturesCostOnlyTheirBytes)
{
    // 120 bytes claiming 16384 x 16384 at 32 bits: reading it whole took
    // 1 GB of black pixels.
    BmpSpec s;
    s.width = 16384;
    s.height = 16384;
    s.bitsPerPixel = 32;
    s.pixels = std::string(66, '\0');
    const std::string file = buildBmp(s);
    ASSERT_EQ(file.size(), 120u);

    TempTree tree;
    TBitmap view;
    view.LoadFromFile(tree.writeFile("huge.bmp", file));
    QImage window(700, 450, QImage::Format_RGB32);
    window.fill(Qt::white);
    view.StretchDraw(window, window.rect());
    EXPECT_EQ(view.Width(), 16384);
    EXPECT_LE(view.HeldBytes(), file.size());
    EXPECT_EQ(window.pixel(350, 225), qRgb(0, 0, 0)); // pixels the file lacks are black

    // The thumbnail reads only the rows it takes and skips the others.
    s.width = 2000;
    s.height = 3000;
    s.pixels = std::string(2000u * 4 * 3000, '\x40');
    const std::string large = buildBmp(s);
    CountingSource source(large);
    QImage thumbnail(100, 75, QImage::Format_RGB32);
    EXPECT_EQ(stretchBmp(source, thumbnail, thumbnail.rect()), QSize(2000, 3000));
    EXPECT_LE(source.bytesRead, 200u + 75u * 2000 * 4);
    EXPECT_EQ(thumbnail.pixel(10, 10), qRgb(0x40, 0x40, 0x40));
}

TEST(HostilePictures, rowsGetTheDesignedThumbnailsAndResolutions)
{
    TempTree tree;
    TImageList list;
    const QImage fallback = fallbackThumbnail();

    // Refused while decoding: the fallback picture and no resolution.
    ThumbnailOutcome refused =
        makeThumbnails(tree.writeFile("p.jpg", progressiveClaiming(16384, 16384, JpegSpec::Colour::Rgb, 0)), list);
    EXPECT_EQ(refused.resolution, std::nullopt);
    EXPECT_EQ(list.Entry(refused.lastIndex), fallback);

    // Data ending early: what was decoded, with the header's size.
    ThumbnailOutcome cut = makeThumbnails(tree.writeFile("t.jpg", truncatedClaiming(16384, 16384)), list);
    EXPECT_EQ(cut.resolution, QStringLiteral("16384 X 16384"));
    EXPECT_EQ(list.Entry(cut.lastIndex).pixel(50, 70), qRgb(128, 128, 128));

    BmpSpec s;
    s.width = 16384;
    s.height = 16384;
    s.bitsPerPixel = 32;
    ThumbnailOutcome bmp = makeThumbnails(tree.writeFile("h.bmp", buildBmp(s)), list);
    EXPECT_EQ(bmp.resolution, QStringLiteral("16384 X 16384"));
    EXPECT_EQ(list.Entry(bmp.lastIndex).pixel(50, 40), qRgb(0, 0, 0));
}
