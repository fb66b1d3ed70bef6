// TIFF files ("*.tif", also ".tiff"; only a name ending in one of them asks
// for the thumbnail step), decoded by libtiff (tiff_codec.h): the first
// page, strips or tiles, 8 or 16 bits a sample, transparency laid over
// white. The size, the orientation and the row thumbnail read the file in
// place, since a TIFF file's directory often comes after its pixels; the
// image view holds the file's bytes like the other compressed pictures.
#include "imaging/byte_source.h"
#include "imaging/encoded_picture.h"
#include "imaging/encoded_picture_format.h"
#include "imaging/fallback_picture.h"
#include "imaging/tiff_codec.h"

#include <exception>

namespace quillmere {

namespace {

TiffBytes inMemory(const std::uint8_t *data, std::size_t size)
{
    TiffBytes bytes;
    bytes.data = data;
    bytes.size = size;
    return bytes;
}

TiffBytes inPlace(const FileSource &file)
{
    TiffBytes bytes;
    bytes.fd = file.descriptor();
    bytes.size = file.length();
    return bytes;
}

class TiffFormat final : public EncodedPictureFormat {
public:
    TiffFormat()
        : EncodedPictureFormat(QStringLiteral("TIFF"), {"tif", "tiff"}, NameTest::EndsWith)
    {
    }

    // Little-endian "II*\0" or big-endian "MM\0*"; BigTIFF has 43 for 42.
    bool hasSignature(const std::uint8_t *data, std::size_t size) const override
    {
        if (size < 4) {
            return false;
        }
        const bool little = data[0] == 'I' && data[1] == 'I' && data[3] == 0 && (data[2] == 42 || data[2] == 43);
        const bool big = data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43);
        return little || big;
    }

    PictureHeader readHeader(const std::uint8_t *data, std::size_t size) const override
    {
        const TiffHeader tiff = readTiffHeader(inMemory(data, size));
        return PictureHeader{tiff.width, tiff.height, tiff.grayscale, false};
    }

    void decode(const std::uint8_t *data, std::size_t size, const PictureHeader &, TBitmap &into,
                QSize fill) const override
    {
        decodeTiff(inMemory(data, size), into, fill);
    }

    void stretch(const std::uint8_t *data, std::size_t size, QImage &target, const QRect &rect) const override
    {
        stretchTiff(inMemory(data, size), target, rect);
    }

    QSize pictureSize(const std::string &path) const override
    {
        const FileSource file(path);
        if (file.length() == 0) {
            return QSize(0, 0);
        }
        const TiffHeader header = readTiffHeader(inPlace(file));
        return QSize(header.width, header.height);
    }

    int orientation(const std::string &path) const override
    {
        try {
            const FileSource file(path);
            return readTiffHeader(inPlace(file)).orientation;
        } catch (const std::exception &) {
            return 1;
        }
    }

    // The rules of the other compressed pictures: a file that cannot be
    // opened or whose header is damaged gets the stand-in and its size; one
    // that fails to decode (an empty one included) the stand-in and no
    // size; one that ends early what it holds, with its header's size.
    FormatThumbnail rowThumbnail(const std::string &path) const override
    {
        FormatThumbnail made;
        made.thumbnail = newRowThumbnail();
        std::unique_ptr<FileSource> file;
        TiffHeader header;
        try {
            file = std::make_unique<FileSource>(path);
            if (file->length() > 0) {
                header = readTiffHeader(inPlace(*file));
            }
        } catch (const std::exception &) {
            const TBitmap &fallback = fallbackPicture();
            TBitmap(fallback).StretchDraw(made.thumbnail.Canvas(), rowThumbnailArea());
            made.size = QSize(fallback.Width(), fallback.Height());
            return made;
        }
        try {
            stretchTiff(inPlace(*file), made.thumbnail.Canvas(), rowThumbnailArea());
            made.ownPicture = true;
            made.size = QSize(header.width, header.height);
        } catch (const std::exception &) {
            made.thumbnail = newRowThumbnail();
            TBitmap(fallbackPicture()).StretchDraw(made.thumbnail.Canvas(), rowThumbnailArea());
        }
        return made;
    }

    // A reduced-resolution page of the file when one covers atLeast, else
    // the first page streamed into its largest power-of-two reduction that
    // does; the file is read in place.
    TBitmap smallDecode(const std::string &path, QSize atLeast) const override
    {
        atLeast = atLeast.expandedTo(QSize(1, 1));
        const FileSource file(path);
        TBitmap decoded;
        decodeTiff(inPlace(file), decoded, atLeast);
        return grownTo(std::move(decoded), atLeast);
    }
};

} // namespace

const PictureFormat &tiffFormat()
{
    static const TiffFormat format;
    return format;
}

} // namespace quillmere
