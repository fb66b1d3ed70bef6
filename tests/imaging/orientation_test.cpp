#include "imaging/byte_source.h"
#include "imaging/encoded_picture.h"
#include "imaging/exif_blocks.h"
#include "imaging/orientation.h"
#include "imaging/picture.h"
#include "imaging/picture_content.h"
#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"
#include "imaging/row_thumbnail.h"
#include "imaging/stretch.h"
#include "review/image_view_window.h"
#include "support/exif_writer.h"
#include "support/picture_fixtures.h"
#include "support/picture_samples.h"
#include "support/pictures.h"
#include "support/temp_tree.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace quillmere;
using namespace quillmere::test;

namespace {

const QRgb R = qRgb(200, 30, 30);
const QRgb G = qRgb(30, 200, 30);
const QRgb B = qRgb(30, 30, 200);
const QRgb Y = qRgb(230, 230, 40);

// The stored sample has red, green, blue and yellow quadrants (top left, top
// right, bottom left, bottom right). Where each lands in the upright picture,
// as the EXIF tag defines the eight orientations: top left, top right,
// bottom left, bottom right.
const std::array<QRgb, 4> uprightCorners[9] = {
    {},
    {R, G, B, Y}, // 1 upright
    {G, R, Y, B}, // 2 mirrored left to right
    {Y, B, G, R}, // 3 half a turn
    {B, Y, R, G}, // 4 mirrored top to bottom
    {R, B, G, Y}, // 5 row 0 is the left side, column 0 the top
    {B, R, Y, G}, // 6 row 0 is the right side, column 0 the top
    {Y, G, B, R}, // 7 row 0 is the right side, column 0 the bottom
    {G, Y, R, B}, // 8 row 0 is the left side, column 0 the bottom
};

// Odd sides: nearest-neighbour sampling then picks mirrored source pixels
// for mirrored target pixels, so turning a stretched picture equals
// stretching the turned one exactly.
constexpr int kStoredWidth = 161;
constexpr int kStoredHeight = 121;

struct Carrier {
    const char *format;
    const char *extension;
    std::function<std::string(int orientation)> write; // 0: no EXIF at all
};

const std::vector<Carrier> &carriers()
{
    static const std::vector<Carrier> all = {
        {"JPEG", "jpg",
         [](int orientation) {
             const std::string jpeg = samples().at(QStringLiteral("JPEG")).write(kStoredWidth, kStoredHeight);
             return orientation == 0 ? jpeg : jpegWithExif(jpeg, exifBlockWithOrientation(orientation, orientation % 2));
         }},
        {"PNG", "png",
         [](int orientation) {
             const std::string png = samples().at(QStringLiteral("PNG")).write(kStoredWidth, kStoredHeight);
             return orientation == 0 ? png : pngWithExif(png, exifBlockWithOrientation(orientation, orientation % 2));
         }},
    };
    return all;
}

void expectCorners(const QImage &image, const std::array<QRgb, 4> &corners, int tolerance, const std::string &what)
{
    const int w = image.width();
    const int h = image.height();
    const QPoint points[4] = {{w / 4, h / 4}, {3 * w / 4, h / 4}, {w / 4, 3 * h / 4}, {3 * w / 4, 3 * h / 4}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_LE(colourDistance(image.pixel(points[i]), corners[i]), tolerance) << what << " corner " << i;
    }
}

// The stored picture decoded whole, as the format decodes it.
QImage storedPicture(const PictureFormat &format, const std::string &path)
{
    TEncodedPicture picture(dynamic_cast<const EncodedPictureFormat &>(format));
    picture.LoadFromFile(path);
    picture.Decode();
    return picture.Bitmap()->ToDisplayImage();
}

QImage stretched(const QImage &source, QSize size)
{
    QImage target(size, QImage::Format_RGB32);
    target.fill(Qt::white);
    stretchPixels(source, 32, target, target.rect());
    return target;
}

} // namespace

TEST(Orientation, turningMovesEveryPixelWhereTheTagSaysAndSwapsSidesForFiveToEight)
{
    // A 3 x 2 picture of six distinct pixels, a..f row by row.
    QImage stored(3, 2, QImage::Format_RGB32);
    for (int i = 0; i < 6; ++i) {
        stored.setPixel(i % 3, i / 3, qRgb(i, 0, 0));
    }
    // The upright picture, row by row, by the pixels' numbers.
    const std::vector<int> expected[9] = {
        {}, {0, 1, 2, 3, 4, 5}, {2, 1, 0, 5, 4, 3}, {5, 4, 3, 2, 1, 0}, {3, 4, 5, 0, 1, 2},
        {0, 3, 1, 4, 2, 5}, {3, 0, 4, 1, 5, 2}, {5, 2, 4, 1, 3, 0}, {2, 5, 1, 4, 0, 3},
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QImage upright = uprightImage(stored, orientation);
        const QSize size = orientation >= 5 ? QSize(2, 3) : QSize(3, 2);
        ASSERT_EQ(upright.size(), size) << orientation;
        EXPECT_EQ(uprightSize(QSize(3, 2), orientation), size);
        std::vector<int> got;
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                got.push_back(qRed(upright.pixel(x, y)));
            }
        }
        EXPECT_EQ(got, expected[orientation]) << orientation;
    }
}

TEST(Orientation, everyOrientationInJpegAndPngShowsUprightInThumbnailResolutionAndView)
{
    TempTree tree;
    for (const Carrier &carrier : carriers()) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const std::string what = std::string(carrier.format) + " " + std::to_string(orientation);
            const std::string path =
                tree.writeFile("o" + std::to_string(orientation) + "." + carrier.extension, carrier.write(orientation));
            const PictureFormat *format = PictureFormatOfContent(path);
            ASSERT_NE(format, nullptr);
            EXPECT_EQ(format->name().toStdString(), carrier.format);
            EXPECT_EQ(format->orientation(path), orientation) << what;
            const QSize upright = orientation >= 5 ? QSize(kStoredHeight, kStoredWidth) : QSize(kStoredWidth, kStoredHeight);

            // Thumbnail: the upright picture stretched to 100 x 75, pixel for
            // pixel, and the resolution of the upright picture.
            const DecodedThumbnails decoded = decodeThumbnails(path);
            ASSERT_EQ(decoded.entries.size(), 1u) << what;
            EXPECT_TRUE(decoded.entries[0].ownPicture) << what;
            const QImage thumbnail = decoded.entries[0].thumbnail.ToDisplayImage();
            ASSERT_EQ(thumbnail.size(), QSize(100, 75)) << what;
            EXPECT_EQ(thumbnail, stretched(uprightImage(storedPicture(*format, path), orientation), QSize(100, 75))) << what;
            expectCorners(thumbnail, uprightCorners[orientation], 40, what + " thumbnail");
            EXPECT_EQ(decoded.resolution, resolutionText(upright)) << what;

            // The list mode's size and the small decode.
            EXPECT_EQ(UprightPictureSize(path), upright) << what;
            const TBitmap small = UprightSmallDecode(*format, path, QSize(30, 30));
            EXPECT_GE(small.Width(), 30);
            EXPECT_GE(small.Height(), 30);
            EXPECT_EQ(small.Width() < small.Height(), orientation >= 5) << what;
            expectCorners(small.ToDisplayImage(), uprightCorners[orientation], 40, what + " small decode");

            // The image view: sized and drawn upright.
            TPicture holder;
            LoadPictureByExtension(holder, path);
            EXPECT_EQ(QSize(holder.Width(), holder.Height()), upright) << what;
            EXPECT_EQ(ImageViewSizeFor(holder.Width(), holder.Height()),
                      orientation >= 5 ? QSize(338, 450) : QSize(700, 526))
                << what;
            QImage view(QSize(90, 120), QImage::Format_RGB32);
            view.fill(Qt::black);
            {
                QPainter painter(&view);
                holder.Draw(painter, view.rect());
            }
            expectCorners(view, uprightCorners[orientation], 40, what + " view");
            // Printing it the way the thumbnail is made gives the same turn.
            QImage printed(QSize(50, 40), QImage::Format_RGB32);
            printed.fill(Qt::black);
            holder.Graphic()->StretchDraw(printed, printed.rect());
            expectCorners(printed, uprightCorners[orientation], 40, what + " stretch");
        }
    }
}

TEST(Orientation, aFileWithoutOrientationKeepsTodaysPixels)
{
    TempTree tree;
    for (const Carrier &carrier : carriers()) {
        for (const int orientation : {0, 1}) {
            const std::string path =
                tree.writeFile("plain" + std::to_string(orientation) + "." + carrier.extension, carrier.write(orientation));
            const PictureFormat &format = *PictureFormatOfContent(path);
            EXPECT_EQ(format.orientation(path), 1);
            const DecodedThumbnails decoded = decodeThumbnails(path);
            ASSERT_EQ(decoded.entries.size(), 1u);
            EXPECT_EQ(decoded.entries[0].thumbnail.ToDisplayImage(), format.rowThumbnail(path).thumbnail.ToDisplayImage());
            TPicture holder;
            LoadPictureByExtension(holder, path);
            EXPECT_EQ(dynamic_cast<TEncodedPicture *>(holder.Graphic()) != nullptr, true) << "not wrapped";
        }
    }
}

TEST(Orientation, aFileThatRecordsATurnButCannotBeDecodedGetsTheStandInUnturned)
{
    TempTree tree;
    // A valid EXIF block saying "on its side", then a frame header and no
    // scan at all.
    std::string jpeg = samples().at(QStringLiteral("JPEG")).write(64, 48);
    jpeg = jpegWithExif(jpeg, exifBlockWithOrientation(6));
    const std::string cut = jpeg.substr(0, jpeg.find("\xFF\xDA"));
    const std::string path = tree.writeFile("cut.jpg", cut + "\xFF\xD9");
    const DecodedThumbnails decoded = decodeThumbnails(path);
    ASSERT_EQ(decoded.entries.size(), 1u);
    EXPECT_FALSE(decoded.entries[0].ownPicture);
    EXPECT_EQ(decoded.entries[0].thumbnail.ToDisplayImage(), fallbackThumbnail());
    // The header cannot be read without a scan: the stand-in's own size, not
    // turned.
    EXPECT_EQ(decoded.resolution, QStringLiteral("100 X 80"));
}

TEST(ExifBlocks, foundOnlyInTheHeadersAndWithinBounds)
{
    const std::string block = exifBlockWithOrientation(6);
    const std::string jpeg = samples().at(QStringLiteral("JPEG")).write(16, 16);
    const std::string png = samples().at(QStringLiteral("PNG")).write(16, 16);
    const auto segment = [](unsigned char code, const std::string &body) {
        const std::size_t length = body.size() + 2;
        return std::string("\xFF") + static_cast<char>(code) + static_cast<char>(length >> 8)
            + static_cast<char>(length & 0xFF) + body;
    };
    std::string manyApp2;
    while (manyApp2.size() < kExifSearchBytes) {
        manyApp2 += segment(0xE2, std::string(65000, 'm'));
    }
    const std::string afterIdat = png.substr(0, png.size() - 12) + pngChunk("eXIf", block) + png.substr(png.size() - 12);
    const std::string claimsHuge = png.substr(0, 33) + be32(0x7FFFFFF0u) + "zTXt" + std::string(64, 'z');
    const std::string hugeExif = png.substr(0, 33) + be32(static_cast<std::uint32_t>(kMaxExifBlockBytes + 1)) + "eXIf"
        + std::string(64, 'e');
    const struct {
        const char *what;
        bool isPng;
        std::string file;
        int orientation;
    } cases[] = {
        {"JPEG, right after the start", false, jpegWithExif(jpeg, block), 6},
        {"JPEG, after JFIF and XMP segments", false,
         jpegWithExif(jpeg, block, segment(0xE0, std::string("JFIF\0", 5) + "1234567") + segment(0xE1, "http://ns.adobe.com/xap/1.0/")), 6},
        {"JPEG, big-endian", false, jpegWithExif(jpeg, exifBlockWithOrientation(8, true)), 8},
        {"JPEG, beyond the searched part", false, jpegWithExif(jpeg, block, manyApp2), 1},
        {"JPEG, after the first scan", false, jpeg.substr(0, jpeg.size() - 2) + segment(0xE1, std::string("Exif\0\0", 6) + block) + "\xFF\xD9", 1},
        {"JPEG, cut inside the segment", false, jpegWithExif(jpeg, block).substr(0, 30), 1},
        {"JPEG, value 0", false, jpegWithExif(jpeg, exifBlockWithOrientation(0)), 1},
        {"JPEG, value 9", false, jpegWithExif(jpeg, exifBlockWithOrientation(9)), 1},
        {"JPEG, garbage in the block", false, jpegWithExif(jpeg, "II*\0" + std::string(40, '\xFF')), 1},
        {"not a JPEG", false, "BM" + std::string(100, 0), 1},
        {"PNG, after the header", true, pngWithExif(png, block), 6},
        {"PNG, big-endian", true, pngWithExif(png, exifBlockWithOrientation(3, true)), 3},
        {"PNG, after the image data", true, afterIdat, 1},
        {"PNG, a chunk claiming 2 GB first", true, claimsHuge, 1},
        {"PNG, an EXIF chunk above the limit", true, hugeExif, 1},
        {"PNG, cut inside the chunk", true, pngWithExif(png, block).substr(0, 50), 1},
    };
    for (const auto &c : cases) {
        MemorySource source(c.file.data(), c.file.size());
        const std::vector<std::uint8_t> found = c.isPng ? pngExifBlock(source) : jpegExifBlock(source);
        EXPECT_EQ(exifOrientation(found), c.orientation) << c.what;
    }
    EXPECT_EQ(exifOrientation({}), 1);
}

namespace {
// A format that streams nothing of its own: every operation is PNG's, and
// the thumbnail over another area comes from the interface's default.
class PlainFormat final : public PictureFormat {
public:
    PlainFormat()
        : PictureFormat(QStringLiteral("Plain"), {"plain"}, NameTest::EndsWith)
    {
    }
    bool hasSignature(const std::uint8_t *data, std::size_t size) const override { return png().hasSignature(data, size); }
    QSize pictureSize(const std::string &path) const override { return png().pictureSize(path); }
    FormatThumbnail rowThumbnail(const std::string &path) const override { return png().rowThumbnail(path); }
    std::unique_ptr<TGraphic> newPicture() const override { return png().newPicture(); }
    TBitmap smallDecode(const std::string &path, QSize atLeast) const override { return png().smallDecode(path, atLeast); }

private:
    static const PictureFormat &png()
    {
        for (const PictureFormat *format : PictureFormats()) {
            if (format->name() == QLatin1String("PNG")) {
                return *format;
            }
        }
        throw std::runtime_error("no PNG");
    }
};
} // namespace

TEST(Orientation, aFormatWithoutItsOwnThumbnailOverAnAreaIsTurnedAllTheSame)
{
    TempTree tree;
    const PlainFormat plain;
    const std::string path =
        tree.writeFile("side.plain", pngWithExif(samples().at(QStringLiteral("PNG")).write(kStoredWidth, kStoredHeight),
                                                 exifBlockWithOrientation(6)));
    EXPECT_EQ(plain.orientation(path), 1) << "the default reads exifBlock, which this format does not give";
    const FormatThumbnail onSide = plain.rowThumbnailOver(path, QSize(75, 100));
    ASSERT_EQ(QSize(onSide.thumbnail.Width(), onSide.thumbnail.Height()), QSize(75, 100));
    expectCorners(onSide.thumbnail.ToDisplayImage(), uprightCorners[1], 8, "stored over 75 x 100");
    const FormatThumbnail upright = uprightThumbnail(plain, path, 6);
    ASSERT_EQ(QSize(upright.thumbnail.Width(), upright.thumbnail.Height()), QSize(100, 75));
    expectCorners(upright.thumbnail.ToDisplayImage(), uprightCorners[6], 8, "turned");
    EXPECT_EQ(upright.size, QSize(kStoredHeight, kStoredWidth));

    const std::string words = tree.writeFile("words.plain", std::string(300, 'w'));
    const FormatThumbnail standIn = uprightThumbnail(plain, words, 6);
    EXPECT_FALSE(standIn.ownPicture);
    EXPECT_EQ(standIn.thumbnail.ToDisplayImage(), fallbackThumbnail());
    EXPECT_EQ(standIn.size, QSize(100, 80));
}

namespace {
// A file of endless metadata: its first bytes, then a pattern repeated for
// ever, counting every byte read or skipped.
class EndlessSource final : public ByteSource {
public:
    EndlessSource(std::string head, std::string pattern)
        : head_(std::move(head))
        , pattern_(std::move(pattern))
    {
    }
    std::size_t read(void *buffer, std::size_t count) override
    {
        auto *out = static_cast<char *>(buffer);
        for (std::size_t i = 0; i < count; ++i, ++position_) {
            out[i] = position_ < head_.size() ? head_[position_] : pattern_[(position_ - head_.size()) % pattern_.size()];
        }
        return count;
    }
    std::uint64_t remaining() const override { return ~std::uint64_t(0) - position_; }
    std::uint64_t consumed() const { return position_; }

private:
    std::string head_;
    std::string pattern_;
    std::uint64_t position_ = 0;
};
} // namespace

TEST(ExifBlocks, endlessOrHugeMetadataIsReadOnlyUpToTheSearchedPart)
{
    // JPEG: application segments for ever.
    EndlessSource jpeg("\xFF\xD8", std::string("\xFF\xE2\xFF\xFF", 4) + std::string(65533, 'a'));
    EXPECT_TRUE(jpegExifBlock(jpeg).empty());
    EXPECT_LE(jpeg.consumed(), kExifSearchBytes + 70000);
    // PNG: a text chunk claiming nearly 2 GB, and small chunks for ever.
    const std::string header = std::string("\x89PNG\r\n\x1A\n", 8) + be32(13) + "IHDR" + std::string(17, '\0');
    EndlessSource huge(header + be32(0x7FFFFFF0u) + "zTXt", "z");
    EXPECT_TRUE(pngExifBlock(huge).empty());
    EXPECT_LE(huge.consumed(), kExifSearchBytes);
    EndlessSource many(header, be32(0) + "tEXt" + be32(0));
    EXPECT_TRUE(pngExifBlock(many).empty());
    EXPECT_LE(many.consumed(), kExifSearchBytes + 12);
}
