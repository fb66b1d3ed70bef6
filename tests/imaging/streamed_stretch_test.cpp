// A picture stretched from its rows as they are decoded must come out pixel
// for pixel as the whole decoded picture stretched.
#include "imaging/bitmap.h"
#include "imaging/bmp_reader.h"
#include "imaging/byte_source.h"
#include "imaging/jpeg_codec.h"
#include "support/picture_fixtures.h"
#include "support/pictures.h"

#include <gtest/gtest.h>

using namespace quillmere;
using namespace quillmere::test;

namespace {

// Busy content, so that a row or column taken from the wrong place shows.
QRgb busy(int x, int y)
{
    return qRgb((x * 37 + y * 11) % 256, (x * x + y * 53) % 256, (x * 7 + y * y * 3) % 256);
}

QImage blankTarget(QSize size = QSize(100, 75))
{
    QImage target(size, QImage::Format_RGB32);
    target.fill(qRgb(1, 2, 3));
    return target;
}

// The rectangles pictures are stretched onto: the thumbnail, a window, and
// ones that reach past the target's edges.
const QRect kAreas[] = {QRect(0, 0, 100, 75), QRect(0, 0, 700, 450), QRect(-13, 5, 131, 61)};

void expectJpegStreamsLikeFullDecode(const std::string &jpeg, const std::string &what)
{
    TBitmap whole;
    std::string wholeError;
    try {
        decodeJpeg(bytes(jpeg), jpeg.size(), whole);
    } catch (const std::exception &e) {
        wholeError = e.what();
    }
    for (const QRect &area : kAreas) {
        QImage expected = blankTarget(area.size().expandedTo(QSize(100, 75)));
        QImage streamed = expected;
        whole.StretchDraw(expected, area);
        std::string streamError;
        try {
            stretchJpeg(bytes(jpeg), jpeg.size(), streamed, area);
        } catch (const std::exception &e) {
            streamError = e.what();
        }
        EXPECT_EQ(streamError, wholeError) << what;
        if (wholeError.empty()) {
            EXPECT_TRUE(streamed == expected) << what << " onto " << area.width() << "x" << area.height();
        }
    }
}

} // namespace

TEST(StreamedStretch, jpegRowsMatchTheFullDecodeForEverySizeAndColourKind)
{
    const JpegSpec::Colour colours[] = {JpegSpec::Colour::Rgb, JpegSpec::Colour::Gray, JpegSpec::Colour::CmykAdobe,
                                        JpegSpec::Colour::CmykPlain};
    const QSize sizes[] = {{1, 1}, {7, 5}, {99, 74}, {100, 75}, {101, 77}, {333, 17}, {17, 333}, {640, 480}, {257, 1031}};
    for (const JpegSpec::Colour colour : colours) {
        for (const QSize size : sizes) {
            for (const bool progressive : {false, true}) {
                JpegSpec recipe;
                recipe.width = size.width();
                recipe.height = size.height();
                recipe.colour = colour;
                recipe.quality = 90;
                recipe.progressive = progressive;
                const std::string jpeg = encodeJpeg(recipe, busy);
                const std::string what = std::to_string(static_cast<int>(colour)) + " " +
                    std::to_string(size.width()) + "x" + std::to_string(size.height()) + (progressive ? " p" : "");
                expectJpegStreamsLikeFullDecode(jpeg, what);
                if (size.height() > 100) {
                    // Cut short: the rows after the data are the decoder's
                    // filling, the same both ways.
                    expectJpegStreamsLikeFullDecode(jpeg.substr(0, jpeg.size() / 3), what + " cut");
                }
            }
        }
    }
}

namespace {

std::string noiseBytes(std::size_t count, std::uint32_t seed)
{
    std::string out(count, '\0');
    for (char &c : out) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return out;
}

void expectBmpStreamsLikeFullDecode(const std::string &file, const std::string &what)
{
    MemorySource wholeSource(file.data(), file.size());
    TBitmap whole;
    whole.LoadFromStream(wholeSource);
    for (const QRect &area : kAreas) {
        QImage expected = blankTarget(area.size().expandedTo(QSize(100, 75)));
        QImage streamed = expected;
        whole.StretchDraw(expected, area);
        MemorySource source(file.data(), file.size());
        const QSize size = stretchBmp(source, streamed, area);
        EXPECT_EQ(size, QSize(whole.Width(), whole.Height())) << what;
        EXPECT_TRUE(streamed == expected) << what << " onto " << area.width() << "x" << area.height();
    }
}

} // namespace

TEST(StreamedStretch, bmpRowsMatchTheFullReadForEveryDepthLayoutAndShortFile)
{
    const QSize sizes[] = {{1, 1}, {7, 5}, {99, 74}, {101, 77}, {333, 17}, {17, 333}, {640, 480}};
    struct Kind {
        std::uint16_t bits;
        std::uint32_t compression;
    };
    const Kind kinds[] = {{1, 0}, {4, 0}, {8, 0}, {16, 0}, {24, 0}, {32, 0}, {16, 3}, {32, 3}, {8, 1}, {4, 2}};
    std::uint32_t seed = 1;
    for (const Kind kind : kinds) {
        for (const QSize size : sizes) {
            for (const bool topDown : {false, true}) {
                const bool runLength = kind.compression == 1 || kind.compression == 2;
                if (runLength && topDown) {
                    continue; // run-length data is bottom-up only
                }
                BmpSpec s;
                s.width = size.width();
                s.height = topDown ? -size.height() : size.height();
                s.bitsPerPixel = kind.bits;
                s.compression = kind.compression;
                if (kind.bits <= 8) {
                    for (int i = 0; i < std::max(1, (1 << kind.bits) - 3); ++i) { // short: high indices are black
                        s.colours.push_back(qRgb((i * 71) % 256, (i * 13) % 256, (i * 197) % 256));
                    }
                    s.colourCount = static_cast<std::uint32_t>(s.colours.size());
                }
                if (kind.compression == 3) {
                    s.masksAfterHeader =
                        kind.bits == 16 ? le32(0xF800) + le32(0x07E0) + le32(0x001F) : le32(0xFF0) + le32(0xF000) + le32(0xF);
                }
                const std::size_t rowSize = ((static_cast<std::size_t>(size.width()) * kind.bits + 31) / 32) * 4;
                // Run-length data: random codes exercise runs, literals,
                // deltas and ends of lines alike.
                const std::size_t full = runLength ? rowSize * static_cast<std::size_t>(size.height()) / 2 + 64
                                                   : rowSize * static_cast<std::size_t>(size.height());
                s.pixels = noiseBytes(full, ++seed);
                const std::string what = std::to_string(kind.bits) + "/" + std::to_string(kind.compression) + " " +
                    std::to_string(size.width()) + "x" + std::to_string(size.height()) + (topDown ? " top-down" : "");
                expectBmpStreamsLikeFullDecode(buildBmp(s), what);
                // The file ends inside the pixels, mid-row and mid-pixel.
                const std::string cut = buildBmp(s);
                expectBmpStreamsLikeFullDecode(cut.substr(0, cut.size() - full / 2 - 1), what + " cut");
            }
        }
    }
}
