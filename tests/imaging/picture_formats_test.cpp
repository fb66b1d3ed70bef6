#include "imaging/bitmap.h"
#include "imaging/encoded_picture.h"
#include "imaging/graphic.h"
#include "imaging/picture.h"
#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"
#include "support/picture_fixtures.h"
#include "platform/errors.h"
#include "support/picture_samples.h"
#include "support/pictures.h"
#include "support/temp_tree.h"

#include <QPainter>
#include <gtest/gtest.h>
#include <map>

using namespace quillmere;
using namespace quillmere::test;

namespace {

// The picture decoded in full (no streaming, no reduction) and drawn
// stretched over an image of size.
QImage fullDecodeStretched(const PictureFormat &format, const std::string &path, QSize size)
{
    std::unique_ptr<TGraphic> picture = format.newPicture();
    picture->LoadFromFile(path);
    QImage target(size, QImage::Format_RGB32);
    target.fill(Qt::white);
    if (auto *encoded = dynamic_cast<TEncodedPicture *>(picture.get())) {
        encoded->Decode();
        TBitmap whole(*encoded->Bitmap());
        whole.StretchDraw(target, target.rect());
    } else {
        TBitmap whole(dynamic_cast<TBitmap &>(*picture));
        whole.Canvas(); // every row made at once, not streamed
        whole.StretchDraw(target, target.rect());
    }
    return target;
}

// The largest channel difference between a and the expected picture. A
// lossy format that scales while decoding may place a colour edge a pixel
// off; with skipEdges the pixels next to an edge of expected are left out.
int largestDifference(const QImage &a, const QImage &expected, bool skipEdges)
{
    const auto nearEdge = [&](int x, int y) {
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = std::clamp(x + dx, 0, expected.width() - 1);
                const int ny = std::clamp(y + dy, 0, expected.height() - 1);
                if (colourDistance(expected.pixel(nx, ny), expected.pixel(x, y)) > 40) {
                    return true;
                }
            }
        }
        return false;
    };
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (!skipEdges || !nearEdge(x, y)) {
                largest = std::max(largest, colourDistance(a.pixel(x, y), expected.pixel(x, y)));
            }
        }
    }
    return largest;
}

class EveryFormat : public ::testing::Test {
protected:
    // A sample file of every format, 256 x 192, named by its first extension.
    std::map<const PictureFormat *, std::string> files()
    {
        std::map<const PictureFormat *, std::string> made;
        for (const PictureFormat *format : PictureFormats()) {
            made[format] = tree.writeFile("sample." + format->extensions().front(), sampleOf(*format).write(256, 192));
        }
        return made;
    }
    TempTree tree;
};

} // namespace

TEST(PictureFormatRegistry, offersTheMasksInTheirOrderAndTheFirstAsDefault)
{
    EXPECT_EQ(PictureMasks(), QStringList({QStringLiteral("*.jpg"), QStringLiteral("*.bmp"), QStringLiteral("*.png"),
                                           QStringLiteral("*.heic"), QStringLiteral("*.avif"), QStringLiteral("*.webp"),
                                           QStringLiteral("*.tif"), QStringLiteral("*.gif")}));
    EXPECT_EQ(PictureFormatForMask(QStringLiteral("*.JPG")), PictureFormats().front());
    EXPECT_EQ(PictureFormatForMask(QStringLiteral("*.jpeg")), nullptr);
    EXPECT_EQ(PictureFormatForMask(QStringLiteral("*.tga")), nullptr);
}

TEST_F(EveryFormat, claimsItsOwnExtensionsAloneAndLoadsByThem)
{
    const auto made = files();
    for (const PictureFormat *format : PictureFormats()) {
        EXPECT_EQ(PictureFormatForMask(format->mask()), format);
        for (const std::string &extension : format->extensions()) {
            for (const PictureFormat *other : PictureFormats()) {
                EXPECT_EQ(other->claimsExtension(extension), other == format) << extension;
            }
            // Its name test alone asks for a step, in either letter case.
            for (const std::string &name : {"/p/x." + extension, "/p/X." + QString::fromStdString(extension).toUpper().toStdString()}) {
                EXPECT_EQ(PictureFormatsNamedBy(name), std::vector<const PictureFormat *>{format}) << name;
            }
            // Loading by extension reads it with this format.
            const std::string copy = tree.writeFile("copy." + extension, sampleOf(*format).write(64, 48));
            TPicture holder;
            LoadPictureByExtension(holder, copy);
            EXPECT_EQ(QSize(holder.Width(), holder.Height()), QSize(64, 48)) << extension;
        }
    }
}

TEST_F(EveryFormat, knowsItsOwnFilesByTheirFirstBytes)
{
    const auto made = files();
    for (const auto &[owner, path] : made) {
        const std::string content = TempTree::readFile(path);
        for (const PictureFormat *format : PictureFormats()) {
            EXPECT_EQ(format->hasSignature(bytes(content), content.size()), format == owner)
                << format->name().toStdString() << " on " << path;
            EXPECT_FALSE(format->hasSignature(nullptr, 0)) << format->name().toStdString();
        }
        // Its first bytes alone, each in a buffer of exactly that size (so
        // that a test reading past them is caught by the sanitizers): a
        // prefix once long enough stays accepted, and one byte never is.
        bool accepted = false;
        for (std::size_t length = 1; length <= 16; ++length) {
            const std::vector<std::uint8_t> prefix(content.begin(), content.begin() + static_cast<std::ptrdiff_t>(length));
            const bool now = owner->hasSignature(prefix.data(), prefix.size());
            EXPECT_TRUE(now || !accepted) << path << " " << length;
            EXPECT_FALSE(length == 1 && now) << path;
            accepted = now;
        }
        EXPECT_TRUE(accepted) << path;
    }
}

TEST_F(EveryFormat, sizeFromHeadersIsTheDecodedSize)
{
    for (const PictureFormat *format : PictureFormats()) {
        const std::string path = tree.writeFile("odd." + format->extensions().front(), sampleOf(*format).write(77, 13));
        EXPECT_EQ(format->pictureSize(path), QSize(77, 13)) << path;
        EXPECT_EQ(format->smallDecode(path, QSize(77, 13)).Width(), 77) << path;
        EXPECT_EQ(format->pictureSize(tree.writeFile("empty." + format->extensions().front(), "")), QSize(0, 0));
        EXPECT_ANY_THROW(format->pictureSize(tree.writeFile("words." + format->extensions().front(), "some words")));
        EXPECT_THROW(format->pictureSize(tree.path("gone." + format->extensions().front())), EFOpenError);
    }
}

TEST(PictureSizeFromHeaders, readsOnWhenTheHeadersComeLate)
{
    TempTree tree;
    // 320 KB of comments before the frame header of a JPEG file, and of a
    // text chunk before the image data of a PNG file.
    JpegSpec jpeg;
    jpeg.width = 40;
    jpeg.height = 30;
    std::string jpegFile = encodeJpeg(jpeg, [](int, int) { return qRgb(1, 2, 3); });
    std::string comments;
    for (int i = 0; i < 5; ++i) {
        comments += std::string("\xFF\xFE\xFF\xFF", 4) + std::string(65533, 'c');
    }
    jpegFile.insert(2, comments);
    PngSpec png;
    png.width = 40;
    png.height = 30;
    png.beforeData.push_back(pngChunk("tEXt", "Comment" + std::string(1, '\0') + std::string(320000, 't')));
    const std::string pngFile = encodePng(png, [](int, int, int) { return 7u; });
    for (const std::string &path : {tree.writeFile("late.jpg", jpegFile), tree.writeFile("late.png", pngFile)}) {
        const std::vector<const PictureFormat *> formats = PictureFormatsNamedBy(path);
        ASSERT_EQ(formats.size(), 1u);
        EXPECT_EQ(formats.front()->pictureSize(path), QSize(40, 30)) << path;
    }
}

TEST_F(EveryFormat, smallDecodeCoversTheAskedSizeAndLooksLikeTheFullPictureScaled)
{
    const auto made = files();
    for (const auto &[format, path] : made) {
        for (const QSize asked : {QSize(16, 12), QSize(40, 100), QSize(1, 1), QSize(0, -3), QSize(300, 200)}) {
            const TBitmap small = format->smallDecode(path, asked);
            const QString what = format->name() + QStringLiteral(" asked %1 x %2").arg(asked.width()).arg(asked.height());
            EXPECT_GE(small.Width(), asked.width()) << what.toStdString();
            EXPECT_GE(small.Height(), asked.height()) << what.toStdString();
            if (asked.width() * 4 <= 256 && asked.height() * 4 <= 192) {
                // Reduced, not decoded at full size.
                EXPECT_LE(small.Width(), 128) << what.toStdString();
                EXPECT_LE(small.Height(), 96) << what.toStdString();
            }
            const QImage expected = fullDecodeStretched(*format, path, QSize(small.Width(), small.Height()));
            const int tolerance = sampleOf(*format).tolerance;
            EXPECT_LE(largestDifference(small.ToDisplayImage(), expected, tolerance > 0), tolerance)
                << what.toStdString();
        }
        const std::string empty = tree.writeFile("empty." + format->extensions().front(), "");
        EXPECT_ANY_THROW(format->smallDecode(empty, QSize(8, 8))) << format->name().toStdString();
    }
}

TEST_F(EveryFormat, rowThumbnailIsTheFullPictureStretchedPixelForPixel)
{
    const auto made = files();
    const std::vector<const PictureFormat *> &formats = PictureFormats();
    for (std::size_t i = 0; i < formats.size(); ++i) {
        const PictureFormat &format = *formats[i];
        const std::string &path = made.at(&format);
        const FormatThumbnail thumbnail = format.rowThumbnail(path);
        EXPECT_TRUE(thumbnail.ownPicture) << path;
        EXPECT_EQ(thumbnail.size, QSize(256, 192)) << path;
        EXPECT_EQ(thumbnail.thumbnail.ToDisplayImage(), fullDecodeStretched(format, path, QSize(100, 75))) << path;
        // The next format's file is not a picture of this one: the stand-in.
        const FormatThumbnail wrong = format.rowThumbnail(made.at(formats[(i + 1) % formats.size()]));
        EXPECT_FALSE(wrong.ownPicture) << path;
        EXPECT_EQ(wrong.thumbnail.ToDisplayImage(), fallbackThumbnail()) << path;
    }
}
