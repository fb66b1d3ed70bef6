// PNG pictures: every colour type and depth against Qt's own PNG reading,
// thumbnails streamed from the rows, and hostile files measured in rows read
// and memory taken.
#include "imaging/bitmap.h"
#include "imaging/picture_limits.h"
#include "imaging/png_codec.h"
#include "imaging/png_format.h"
#include "imaging/stretch.h"
#include "support/picture_fixtures.h"
#include "support/pictures.h"
#include "platform/errors.h"
#include "support/error_text.h"

#include <QPainter>
#include <gtest/gtest.h>
#include <zlib.h>

using namespace quillmere;
using namespace quillmere::test;
using namespace std::string_literals;

namespace {

// Samples that vary across and down the picture at any depth.
unsigned pattern(int x, int y, int channel, int depth)
{
    const unsigned top = depth == 16 ? 65535u : (1u << depth) - 1;
    return static_cast<unsigned>(x * 37 + y * 101 + channel * 5003 + x * y) % (top + 1);
}

std::vector<QRgb> somePalette(int count)
{
    std::vector<QRgb> colours;
    for (int i = 0; i < count; ++i) {
        colours.push_back(qRgb((i * 53) & 255, (i * 97 + 30) & 255, (i * 11 + 200) & 255));
    }
    return colours;
}

// What a person sees of a file: Qt's own PNG reading, laid over white.
QImage seenByQt(const std::string &png)
{
    QImage image;
    EXPECT_TRUE(image.loadFromData(bytes(png), static_cast<int>(png.size()), "PNG"));
    QImage onWhite(image.size(), QImage::Format_RGB32);
    onWhite.fill(Qt::white);
    QPainter painter(&onWhite);
    painter.drawImage(0, 0, image);
    painter.end();
    return onWhite;
}

std::string decodeError(TPNGImage &picture)
{
    return errorTextOf<EPNG>([&] { picture.Decode(); });
}

struct Streamed {
    std::string error = "no error";
    PngCost cost;
    QImage thumbnail;
};
Streamed streamPng(const std::string &png, QSize size = QSize(100, 75))
{
    Streamed out;
    out.thumbnail = QImage(size, QImage::Format_RGB32);
    out.thumbnail.fill(Qt::white);
    out.error = errorTextOf<EPNG>([&] { stretchPng(bytes(png), png.size(), out.thumbnail, out.thumbnail.rect(), &out.cost); });
    return out;
}

// png with the size in its header replaced (and the header's checksum
// made right).
std::string withPngSize(std::string png, std::uint32_t width, std::uint32_t height)
{
    png.replace(16, 8, be32(width) + be32(height));
    png.replace(29, 4, be32(static_cast<std::uint32_t>(crc32(0, bytes(png) + 12, 17))));
    return png;
}

// A picture of flat grey claiming width x height, with compressed data that
// really inflates to the rows it claims, made cheaply: one flushed deflate
// block of zero rows, repeated.
std::string inflatingClaim(int width, int height, int depth, int colourType)
{
    PngSpec s;
    s.bitDepth = depth;
    s.colourType = colourType;
    const std::string small = withPngSize(encodePng(s, [](int, int, int) { return 0u; }), width, height);
    const int channels = colourType == 6 ? 4 : colourType == 2 ? 3 : colourType == 4 ? 2 : 1;
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * channels * depth + 7) / 8 + 1;
    const std::size_t blockRows = std::max<std::size_t>(1, (1u << 20) / rowBytes);
    std::string zeros(blockRows * rowBytes, '\0');
    z_stream z{};
    deflateInit(&z, 9);
    std::string block(deflateBound(&z, zeros.size()), '\0');
    z.next_in = reinterpret_cast<Bytef *>(zeros.data());
    z.avail_in = static_cast<uInt>(zeros.size());
    z.next_out = reinterpret_cast<Bytef *>(block.data());
    z.avail_out = static_cast<uInt>(block.size());
    deflate(&z, Z_FULL_FLUSH);
    block.resize(block.size() - z.avail_out);
    deflateEnd(&z);
    // One zlib header, then the block again and again; the stream ends
    // without a final block, as a cut file would.
    std::string stream = block.substr(0, 2);
    for (std::size_t row = 0; row < static_cast<std::size_t>(height); row += blockRows) {
        stream += block.substr(2);
    }
    const std::size_t idat = small.find("IDAT") - 4;
    return small.substr(0, idat) + pngChunk("IDAT", stream) + pngChunk("IEND", "");
}

} // namespace

TEST(PngPicture, everyColourTypeAndDepthDecodesAsQtShowsIt)
{
    struct Kind {
        int colourType;
        std::vector<int> depths;
    };
    const std::vector<Kind> kinds = {
        {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}},
    };
    for (const Kind &kind : kinds) {
        for (const int depth : kind.depths) {
            for (const bool interlaced : {false, true}) {
                PngSpec s;
                s.width = 21; // not a multiple of 8: Adam7's passes are uneven
                s.height = 13;
                s.colourType = kind.colourType;
                s.bitDepth = depth;
                s.interlaced = interlaced;
                if (kind.colourType == 3) {
                    s.palette = somePalette(1 << depth);
                    s.transparency = std::string("\x00\x80\xff", std::min(3, 1 << depth));
                }
                const std::string png = encodePng(s, [&](int x, int y, int c) { return pattern(x, y, c, depth); });
                const std::string what = "type " + std::to_string(kind.colourType) + " depth " + std::to_string(depth) +
                    (interlaced ? " interlaced" : "");
                TPNGImage picture;
                picture.LoadFromBytes(std::vector<std::uint8_t>(png.begin(), png.end()));
                ASSERT_EQ(picture.Width(), 21) << what;
                ASSERT_EQ(picture.Height(), 13) << what;
                ASSERT_EQ(decodeError(picture), "no error") << what;
                const QImage expected = seenByQt(png);
                const QImage &decoded = picture.Bitmap()->Image();
                int worst = 0;
                for (int y = 0; y < 13; ++y) {
                    for (int x = 0; x < 21; ++x) {
                        worst = std::max(worst, colourDistance(decoded.pixel(x, y), expected.pixel(x, y)));
                    }
                }
                EXPECT_LE(worst, 1) << what;
            }
        }
    }
}

TEST(PngPicture, transparencyKeysAndAnimationsShowWhatAPersonExpects)
{
    // A tRNS colour key makes one grey level, or one colour, transparent.
    PngSpec grey;
    grey.colourType = 0;
    grey.transparency = std::string("\x00\x07", 2);
    const std::string keyed = encodePng(grey, [](int x, int, int) { return x < 8 ? 7u : 40u; });
    Streamed out = streamPng(keyed, QSize(16, 12));
    EXPECT_EQ(out.thumbnail.pixel(2, 2), qRgb(255, 255, 255));
    EXPECT_EQ(out.thumbnail.pixel(12, 2), qRgb(40, 40, 40));

    PngSpec rgb;
    rgb.bitDepth = 16;
    rgb.transparency = std::string("\x01\x00\x02\x00\x03\x00", 6);
    const std::string keyedRgb = encodePng(rgb, [](int x, int, int c) { return x < 8 ? 256u * (c + 1) : 65535u; });
    out = streamPng(keyedRgb, QSize(16, 12));
    EXPECT_EQ(out.thumbnail.pixel(2, 2), qRgb(255, 255, 255));

    // An animated file: its still image comes first and is what shows; the
    // frame chunks are skipped.
    PngSpec animated;
    animated.beforeData = {pngChunk("acTL", be32(2) + be32(0)),
                           pngChunk("fcTL", be32(0) + be32(16) + be32(12) + std::string(16, '\0') + "\x00\x01\x00\x00"s)};
    animated.afterData = {pngChunk("fcTL", be32(1) + be32(16) + be32(12) + std::string(16, '\0') + "\x00\x01\x00\x00"s),
                          pngChunk("fdAT", be32(2) + std::string(40, '\x55'))};
    const std::string apng = encodePng(animated, [](int, int, int c) { return c == 1 ? 200u : 10u; });
    out = streamPng(apng, QSize(16, 12));
    EXPECT_EQ(out.error, "no error");
    EXPECT_EQ(out.thumbnail.pixel(5, 5), qRgb(10, 200, 10));
}

TEST(PngPicture, thumbnailsStreamedFromRowsMatchTheWholePictureStretched)
{
    for (const bool interlaced : {false, true}) {
        PngSpec s;
        s.width = 333;
        s.height = 517;
        s.colourType = 6;
        s.interlaced = interlaced;
        const std::string png = encodePng(s, [](int x, int y, int c) { return pattern(x, y, c, 8); });
        TPNGImage picture;
        picture.LoadFromBytes(std::vector<std::uint8_t>(png.begin(), png.end()));
        picture.Decode();
        QImage expected(100, 75, QImage::Format_RGB32);
        expected.fill(Qt::white);
        stretchPixels(picture.Bitmap()->Image(), 32, expected, expected.rect());

        const Streamed out = streamPng(png);
        EXPECT_EQ(out.error, "no error");
        EXPECT_EQ(out.thumbnail, expected) << interlaced;
        // A file without interlacing is read only down to the last row the
        // thumbnail takes; an interlaced one to the end of its last pass.
        if (!interlaced) {
            EXPECT_LT(out.cost.rowsRead, 517u);
            EXPECT_GT(out.cost.rowsRead, 510u);
        }
    }
}

TEST(PngPicture, hostileFilesCostOnlyWhatTheirBytesAccountFor)
{
    // A few hundred bytes claiming 100,000 x 100,000: the header loads, no
    // row is decoded.
    PngSpec huge;
    huge.width = 64;
    huge.height = 4;
    const std::string claim = withPngSize(encodePng(huge, [](int, int, int) { return 9u; }), 100000, 100000);
    ASSERT_LT(claim.size(), 400u);
    TPNGImage picture;
    picture.LoadFromBytes(std::vector<std::uint8_t>(claim.begin(), claim.end()));
    EXPECT_EQ(picture.Width(), 100000);
    Streamed out = streamPng(claim);
    EXPECT_EQ(out.error, "PNG error: Image too large");
    EXPECT_EQ(out.cost.rowsRead, 0u);
    EXPECT_EQ(decodeError(picture), "PNG error: Image too large");

    // Two megabytes of compressed data that would inflate to two gigabytes:
    // refused before a row is read.
    const std::string bomb = inflatingClaim(16384, 16384, 16, 6);
    ASSERT_LT(bomb.size(), 4u << 20);
    out = streamPng(bomb);
    EXPECT_EQ(out.error, "PNG error: Image data out of proportion to the file");
    EXPECT_EQ(out.cost.rowsRead, 0u);
    EXPECT_LT(out.cost.libraryPeakBytes, 1u << 20);
    // The same size of data within the allowance is decoded, and a stream
    // that stops short shows what it holds.
    EXPECT_TRUE(pngDataBelievable(kFreePngImageBytes, 1));
    EXPECT_TRUE(pngDataBelievable(2ull << 30, 130ull << 20));
    EXPECT_FALSE(pngDataBelievable(2ull << 30, bomb.size()));
    const std::string wide = inflatingClaim(4096, 4096, 8, 0);
    out = streamPng(wide);
    EXPECT_EQ(out.error, "no error");
    EXPECT_GT(out.cost.rowsRead, 4000u);
    EXPECT_EQ(out.thumbnail.pixel(50, 70), qRgb(0, 0, 0));

    // A file cut in the middle: the rows it holds, white below, no error.
    PngSpec plain;
    plain.width = 200;
    plain.height = 300;
    plain.compression = 0;
    const std::string whole = encodePng(plain, [](int, int, int c) { return c == 0 ? 250u : 0u; });
    out = streamPng(whole.substr(0, whole.size() / 2));
    EXPECT_EQ(out.error, "no error");
    EXPECT_LT(out.cost.rowsRead, 160u);
    EXPECT_EQ(out.thumbnail.pixel(50, 10), qRgb(250, 0, 0));
    EXPECT_EQ(out.thumbnail.pixel(50, 70), qRgb(255, 255, 255));

    // A damaged checksum on the image data, or on the header. The image
    // data's checksum is checked once its last row is read: a thumbnail,
    // which stops at the last row it takes, shows the picture; the whole
    // picture decoded fails.
    std::string badData = whole;
    badData[whole.size() - 14] ^= 0x20; // in the image data's checksum, before IEND
    EXPECT_EQ(streamPng(badData).error, "no error");
    TPNGImage damaged;
    damaged.LoadFromBytes(std::vector<std::uint8_t>(badData.begin(), badData.end()));
    EXPECT_EQ(decodeError(damaged), "PNG error: IDAT: CRC error");
    std::string badHeader = whole;
    badHeader[20] ^= 1;
    EXPECT_EQ(errorTextOf<EPNG>([&] { readPngHeader(bytes(badHeader), badHeader.size()); }), "PNG error: IHDR: CRC error");

    // Text and colour-profile chunks of many megabytes are skipped unread;
    // libpng holds little memory.
    PngSpec chatty;
    chatty.beforeData = {pngChunk("iCCP", "icc" + std::string(2, '\0') + std::string(9 << 20, 'x')),
                         pngChunk("zTXt", "k" + std::string(2, '\0') + std::string(9 << 20, 'y'))};
    for (int i = 0; i < 3000; ++i) {
        chatty.beforeData.push_back(pngChunk("tEXt", "Comment" + std::string(1, '\0') + "hello"));
    }
    out = streamPng(encodePng(chatty, [](int, int, int) { return 77u; }), QSize(16, 12));
    EXPECT_EQ(out.error, "no error");
    EXPECT_EQ(out.thumbnail.pixel(3, 3), qRgb(77, 77, 77));
    EXPECT_LT(out.cost.libraryPeakBytes, 1u << 20);

    // Wider than libpng's limit of a million pixels: the header is refused.
    const std::string tooWide = withPngSize(encodePng(huge, [](int, int, int) { return 9u; }), 2000000, 4);
    EXPECT_EQ(errorTextOf<EPNG>([&] { readPngHeader(bytes(tooWide), tooWide.size()); }), "PNG error: Invalid IHDR data");
}

TEST(PngPicture, theDecodedPictureStaysWithinThePixelCap)
{
    const std::uint64_t cap = maxPicturePixels();
    setMaxPicturePixels(1000);
    PngSpec s;
    s.width = 40;
    s.height = 26;
    const std::string png = encodePng(s, [](int, int, int) { return 1u; });
    EXPECT_EQ(streamPng(png).error, "PNG error: Image too large");
    s.height = 25;
    EXPECT_EQ(streamPng(encodePng(s, [](int, int, int) { return 1u; })).error, "no error");
    setMaxPicturePixels(cap);
}
