#include "imaging/jpeg_codec.h"
#include "imaging/jpeg_format.h"
#include "support/picture_fixtures.h"
#include "support/error_text.h"
#include "platform/errors.h"

#include <QPainter>
#include <gtest/gtest.h>
#include <jerror.h>
#include <jpeglib.h>

using namespace quillmere;
using namespace quillmere::test;

namespace {

const QRgb kColours[4] = {qRgb(220, 30, 30), qRgb(30, 200, 40), qRgb(40, 50, 210), qRgb(240, 240, 60)};

// Four solid quadrants: colours survive compression nearly unchanged away
// from the edges.
QRgb quadrants(int x, int y, int width = 32, int height = 24)
{
    return kColours[(x >= width / 2 ? 1 : 0) + (y >= height / 2 ? 2 : 0)];
}

std::vector<std::uint8_t> bytesOf(const std::string &s)
{
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

QImage drawn(TJPEGImage &picture)
{
    QImage target(picture.Width(), picture.Height(), QImage::Format_RGB32);
    target.fill(Qt::white);
    picture.StretchDraw(target, target.rect());
    return target;
}

void expectQuadrants(const QImage &image, int tolerance)
{
    const int w = image.width();
    const int h = image.height();
    for (const QPoint p : {QPoint(w / 8, h / 8), QPoint(w - w / 8, h / 8), QPoint(w / 8, h - h / 8),
                           QPoint(w - w / 8, h - h / 8)}) {
        EXPECT_LE(colourDistance(image.pixel(p), quadrants(p.x(), p.y(), w, h)), tolerance) << p.x() << "," << p.y();
    }
}

const auto jpegErrorOf = test::errorTextOf<EJPEG>;

std::string jpegError(int code)
{
    return "JPEG error #" + std::to_string(code);
}

} // namespace

TEST(JpegImage, loadingReadsTheHeaderAndDrawingDecodes)
{
    for (const bool progressive : {false, true}) {
        JpegSpec recipe;
        recipe.progressive = progressive;
        TJPEGImage picture;
        picture.LoadFromBytes(bytesOf(encodeJpeg(recipe, [](int x, int y) { return quadrants(x, y); })));
        EXPECT_EQ(picture.Width(), 32);
        EXPECT_EQ(picture.Height(), 24);
        EXPECT_EQ(picture.ProgressiveEncoding(), progressive);
        EXPECT_FALSE(picture.Grayscale());
        EXPECT_EQ(picture.Bitmap(), nullptr);
        expectQuadrants(drawn(picture), 8);
        EXPECT_EQ(picture.Bitmap(), nullptr); // drawing keeps no full-size bitmap
        picture.Decode();
        ASSERT_NE(picture.Bitmap(), nullptr);
        EXPECT_EQ(picture.Bitmap()->BitsPerPixel(), 32);
    }
    // Large pictures one after another: the second decodes into the buffer
    // the first gave back and must show nothing of it.
    JpegSpec big;
    big.width = 640;
    big.height = 480;
    for (int round = 0; round < 2; ++round) {
        TJPEGImage picture;
        picture.LoadFromBytes(bytesOf(encodeJpeg(big, [&](int x, int y) {
            return round == 0 ? qRgb(0, 0, 0) : quadrants(x, y, 640, 480);
        })));
        picture.Decode();
        if (round == 1) {
            expectQuadrants(drawn(picture), 8);
        } else {
            drawn(picture);
        }
    }
}

TEST(JpegImage, grayscaleAndCmykFilesDecodeToTheirColours)
{
    JpegSpec gray;
    gray.colour = JpegSpec::Colour::Gray;
    TJPEGImage picture;
    picture.LoadFromBytes(bytesOf(encodeJpeg(gray, [](int x, int) { return qRgb(x * 8, x * 8, x * 8); })));
    EXPECT_TRUE(picture.Grayscale());
    picture.Decode();
    const TBitmap &bitmap = *picture.Bitmap();
    EXPECT_EQ(bitmap.BitsPerPixel(), 8);
    EXPECT_GT(bitmap.Palette().size(), 200);
    EXPECT_LE(bitmap.Palette().size(), kMaxJpegColours);
    for (const QRgb c : bitmap.Palette()) {
        EXPECT_TRUE(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c));
    }
    const QImage image = drawn(picture);
    EXPECT_LE(colourDistance(image.pixel(20, 10), qRgb(160, 160, 160)), 6);

    for (const auto colour : {JpegSpec::Colour::CmykAdobe, JpegSpec::Colour::CmykPlain}) {
        JpegSpec cmyk;
        cmyk.colour = colour;
        TJPEGImage four;
        four.LoadFromBytes(bytesOf(encodeJpeg(cmyk, [](int x, int y) { return quadrants(x, y); })));
        expectQuadrants(drawn(four), 10);
    }
}

TEST(JpegImage, brokenDataRaisesLibraryErrorsWhenLoadingOrDecoding)
{
    const std::string good = encodeJpeg(JpegSpec{}, [](int x, int y) { return quadrants(x, y); });

    TJPEGImage picture;
    picture.LoadFromBytes({}); // an empty file loads as 0 x 0
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(jpegErrorOf([&] { picture.Decode(); }), jpegError(JERR_INPUT_EMPTY));
    EXPECT_EQ(jpegErrorOf([&] { picture.LoadFromBytes(bytesOf("not a picture")); }), jpegError(JERR_NO_SOI));

    // A good header with a broken later scan fails only when decoding, and
    // the bitmap held for the decode stays.
    JpegSpec progressive;
    progressive.progressive = true;
    std::string damaged = encodeJpeg(progressive, [](int x, int y) { return quadrants(x, y); });
    const std::size_t second = jpegScanMarker(damaged, 1);
    ASSERT_NE(second, std::string::npos);
    const std::size_t spectral = second + 5 + 2 * static_cast<unsigned char>(damaged[second + 4]);
    damaged[spectral] = 9;      // start of spectral band
    damaged[spectral + 1] = 2;  // ... after its end
    picture.LoadFromBytes(bytesOf(damaged));
    EXPECT_EQ(picture.Width(), 32);
    // Painted in a window, the error comes once; later paints show what was
    // decoded without decoding again.
    QImage window(70, 45, QImage::Format_RGB32);
    QPainter painter(&window);
    EXPECT_EQ(jpegErrorOf([&] { picture.Draw(painter, window.rect()); }), jpegError(JERR_BAD_PROGRESSION));
    EXPECT_EQ(jpegErrorOf([&] { picture.Draw(painter, QRect(0, 0, 700, 450)); }), "no error");
    painter.end();
    EXPECT_EQ(jpegErrorOf([&] { picture.Decode(); }), jpegError(JERR_BAD_PROGRESSION));
    EXPECT_NE(picture.Bitmap(), nullptr);

    // A header claiming 65500 x 65500 pixels reports that size but is
    // refused before any pixel memory is taken.
    picture.LoadFromBytes(bytesOf(withJpegFrameSize(good, 65500, 65500)));
    EXPECT_EQ(picture.Width(), 65500);
    EXPECT_EQ(jpegErrorOf([&] { picture.Decode(); }), jpegError(JERR_IMAGE_TOO_BIG));
    EXPECT_TRUE(picture.Bitmap()->Empty());
}

TEST(JpegImage, scanCountIsLimitedAndShortDataDecodesWhatArrived)
{
    JpegSpec many;
    many.colour = JpegSpec::Colour::Gray;
    many.singleCoefficientScans = 63; // 64 scans: decodes
    TJPEGImage picture;
    picture.LoadFromBytes(bytesOf(encodeJpeg(many, [](int, int) { return qRgb(90, 90, 90); })));
    EXPECT_NO_THROW(picture.Decode());
    many.colour = JpegSpec::Colour::Rgb; // 190 scans: refused
    picture.LoadFromBytes(bytesOf(encodeJpeg(many, [](int x, int y) { return quadrants(x, y); })));
    EXPECT_EQ(jpegErrorOf([&] { picture.Decode(); }), jpegError(JERR_NOTIMPL));

    JpegSpec tall;
    tall.width = 64;
    tall.height = 256;
    // Flat on top, noise below: the noise fills most of the file, so half
    // of the file holds the top rows.
    const std::string whole = encodeJpeg(tall, [](int x, int y) {
        return y < 64 ? kColours[0] : qRgb((x * 7919 + y * 104729) % 256, (x * y * 31) % 256, (x + y * 13) % 256);
    });
    picture.LoadFromBytes(bytesOf(whole.substr(0, whole.size() / 2)));
    EXPECT_EQ(picture.Height(), 256);
    const QImage image = drawn(picture);
    EXPECT_LE(colourDistance(image.pixel(30, 30), kColours[0]), 8);
}

TEST(JpegImage, takingOverABitmapReplacesSizeAndPicture)
{
    TJPEGImage picture;
    picture.LoadFromBytes(bytesOf(encodeJpeg(JpegSpec{}, [](int x, int y) { return quadrants(x, y); })));
    int changes = 0;
    picture.OnChange = [&] { ++changes; };
    TBitmap red;
    red.SetSize(7, 5);
    red.Canvas().fill(qRgb(255, 0, 0));
    picture.Assign(red);
    red.Canvas().fill(qRgb(0, 0, 255)); // the picture holds a copy
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(picture.Width(), 7);
    EXPECT_EQ(picture.Height(), 5);
    EXPECT_EQ(drawn(picture).pixel(3, 3), qRgb(255, 0, 0));
}
