// A picture stretched from its rows as they are decoded must come out pixel
// for pixel as the whole decoded picture stretched.
#include "imaging/bitmap.h"
#include "imaging/bmp_reader.h"
#include "imaging/byte_source.h"
#include "imaging/jpeg_codec.h"
#include "picture_fixtures.h"

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

const std::uint8_t *bytes(const std::string &s)
{
    return reinterpret_cast<const std::uint8_t *>(s.data());
}

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
