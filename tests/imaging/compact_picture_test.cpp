#include "imaging/compact_picture.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace quillmere;

namespace {

// Noise over a gradient, the hardest kind of thumbnail to keep exactly.
QImage noisyPicture(QSize size, QImage::Format format)
{
    QImage picture(size, format);
    QRandomGenerator random(7);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int noise = static_cast<int>(random.bounded(64));
            picture.setPixel(x, y, qRgba((x * 2 + noise) % 256, (y * 3 + noise) % 256, noise * 4 % 256, 17));
        }
    }
    return picture;
}

TEST(CompactPicture, ExpandsToTheSameOpaquePixels)
{
    const QSize size(100, 75);
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGB888}) {
        const QImage picture = noisyPicture(size, format);
        const std::string compact = CompactPicture(picture);
        ASSERT_FALSE(compact.empty());
        EXPECT_LT(compact.size(), std::size_t(size.width() * size.height() * 4));
        const QImage expanded = ExpandPicture(compact, size);
        ASSERT_EQ(expanded.format(), QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                const QRgb want = picture.pixel(x, y) | 0xFF000000u;
                ASSERT_EQ(expanded.pixel(x, y), want) << x << "," << y;
                ASSERT_EQ(reinterpret_cast<const QRgb *>(expanded.constScanLine(y))[x], want);
            }
        }
    }
}

TEST(CompactPicture, RefusesWhatIsNoCompactFormOfTheSize)
{
    const std::string compact = CompactPicture(noisyPicture(QSize(100, 75), QImage::Format_RGB32));
    EXPECT_TRUE(ExpandPicture(compact, QSize(75, 100)).isNull());
    EXPECT_TRUE(ExpandPicture(compact.substr(0, compact.size() / 2), QSize(100, 75)).isNull());
    EXPECT_TRUE(ExpandPicture("not a picture at all", QSize(100, 75)).isNull());
    EXPECT_TRUE(ExpandPicture({}, QSize(100, 75)).isNull());
    EXPECT_TRUE(CompactPicture(QImage()).empty());
}

} // namespace
