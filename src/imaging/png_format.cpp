#include "imaging/png_format.h"

#include "imaging/byte_source.h"
#include "imaging/encoded_picture_format.h"
#include "imaging/exif_blocks.h"
#include "imaging/picture_limits.h"
#include "imaging/png_codec.h"
#include "platform/errors.h"

#include <cstring>

namespace quillmere {

namespace {

class PngFormat final : public EncodedPictureFormat {
public:
    PngFormat()
        : EncodedPictureFormat(QStringLiteral("PNG"), {"png"}, NameTest::EndsWith)
    {
    }

    bool hasSignature(const std::uint8_t *data, std::size_t size) const override
    {
        static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        return size >= sizeof signature && std::memcmp(data, signature, sizeof signature) == 0;
    }

    PictureHeader readHeader(const std::uint8_t *data, std::size_t size) const override
    {
        const PngHeader png = readPngHeader(data, size);
        return PictureHeader{png.width, png.height, false, png.interlaced};
    }

    // The picture drawn stretched into a bitmap reduced by the largest power
    // of two that still covers fill: libpng has no cheaper reduction.
    void decode(const std::uint8_t *data, std::size_t size, const PictureHeader &header, TBitmap &into,
                QSize fill) const override
    {
        if (size == 0) {
            throw EPNG(QStringLiteral("PNG error: empty file"));
        }
        const QSize reduced = halvedToFill(QSize(header.width, header.height), fill);
        if (!pictureSizeAllowed(reduced.width(), reduced.height())) {
            throw EPNG(QStringLiteral("PNG error: Image too large"));
        }
        into.SetSize(reduced.width(), reduced.height());
        stretchPng(data, size, into.Canvas(), QRect(QPoint(0, 0), reduced));
    }

    // The EXIF block from the headers before the picture data.
    std::vector<std::uint8_t> exifBlock(const std::string &path) const override
    {
        FileSource file(path);
        return pngExifBlock(file);
    }

    // Loading by extension makes a picture of the named kind.
    std::unique_ptr<TGraphic> newPicture() const override { return std::make_unique<TPNGImage>(); }

    void stretch(const std::uint8_t *data, std::size_t size, QImage &target, const QRect &rect) const override
    {
        if (size == 0) {
            throw EPNG(QStringLiteral("PNG error: empty file"));
        }
        stretchPng(data, size, target, rect);
    }
};

const PngFormat &theFormat()
{
    static const PngFormat format;
    return format;
}

} // namespace

const PictureFormat &pngFormat()
{
    return theFormat();
}

TPNGImage::TPNGImage()
    : TEncodedPicture(theFormat())
{
}

} // namespace quillmere
