#include "imaging/jpeg_format.h"

#include "imaging/byte_source.h"
#include "imaging/encoded_picture_format.h"
#include "imaging/exif_blocks.h"
#include "imaging/jpeg_codec.h"

namespace quillmere {

namespace {

class JpegFormat final : public EncodedPictureFormat {
public:
    JpegFormat()
        : EncodedPictureFormat(QStringLiteral("JPEG"), {"jpg", "jpeg", "jpe"}, NameTest::Contains)
    {
    }

    bool hasSignature(const std::uint8_t *data, std::size_t size) const override
    {
        // Start of image, then the first marker.
        return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
    }

    // libjpeg stops at once unless the file starts with the start of image.
    bool refusesHeaderStart(const std::uint8_t *data, std::size_t size) const override
    {
        return size >= 2 && !(data[0] == 0xFF && data[1] == 0xD8);
    }

    PictureHeader readHeader(const std::uint8_t *data, std::size_t size) const override
    {
        const JpegHeader jpeg = readJpegHeader(data, size);
        return PictureHeader{jpeg.width, jpeg.height, jpeg.grayscale, jpeg.progressive};
    }

    // libjpeg's DCT scaling: the smallest of 1/8 to 8/8 that covers fill.
    void decode(const std::uint8_t *data, std::size_t size, const PictureHeader &, TBitmap &into,
                QSize fill) const override
    {
        decodeJpeg(data, size, into, fill);
    }

    // The EXIF block from the headers before the picture data.
    std::vector<std::uint8_t> exifBlock(const std::string &path) const override
    {
        FileSource file(path);
        return jpegExifBlock(file);
    }

    // Loading by extension makes a picture of the named kind.
    std::unique_ptr<TGraphic> newPicture() const override { return std::make_unique<TJPEGImage>(); }

    void stretch(const std::uint8_t *data, std::size_t size, QImage &target, const QRect &rect) const override
    {
        stretchJpeg(data, size, target, rect);
    }
};

const JpegFormat &theFormat()
{
    static const JpegFormat format;
    return format;
}

} // namespace

const PictureFormat &jpegFormat()
{
    return theFormat();
}

TJPEGImage::TJPEGImage()
    : TEncodedPicture(theFormat())
{
}

} // namespace quillmere
