// Windows bitmap files ("*.bmp"; ".bmp" anywhere in a file's name asks for
// the thumbnail step), read by our own reader (bmp_reader.h).
#include "imaging/bitmap.h"
#include "imaging/bmp_reader.h"
#include "imaging/byte_source.h"
#include "imaging/picture_format.h"
#include "platform/errors.h"

#include <exception>

namespace quillmere {

namespace {

class BmpFormat final : public PictureFormat {
public:
    BmpFormat()
        : PictureFormat(QStringLiteral("BMP"), {"bmp"}, NameTest::Contains)
    {
    }

    bool hasSignature(const std::uint8_t *data, std::size_t size) const override
    {
        return size >= 2 && data[0] == 'B' && data[1] == 'M';
    }

    QSize pictureSize(const std::string &path) const override
    {
        FileSource file(path);
        return readBmpInfo(file).size;
    }

    // The picture streamed from the file into the thumbnail, with its size
    // ("0 X 0" and white for an empty file). A file that fails to read gets
    // the stand-in and leaves the row's size as it was.
    FormatThumbnail rowThumbnail(const std::string &path) const override
    {
        return rowThumbnailOver(path, rowThumbnailArea().size());
    }

    FormatThumbnail rowThumbnailOver(const std::string &path, QSize area) const override
    {
        const QRect whole(QPoint(0, 0), area);
        FormatThumbnail made;
        made.thumbnail = newRowThumbnail(area);
        try {
            // Straight from the file into the thumbnail: only the rows the
            // stretch takes are read, so the picture is never held whole.
            FileSource file(path);
            made.size = stretchBmp(file, made.thumbnail.Canvas(), whole);
            made.ownPicture = true;
        } catch (const std::exception &) {
            // A broken bitmap must not end the filling of the result table:
            // it shows the stand-in like a broken JPEG file does.
            made.thumbnail = standInThumbnail(area);
        }
        return made;
    }

    // A bitmap draws from the file's stored rows and converts only what a
    // window shows, so it needs no reduced decode of its own.
    std::unique_ptr<TGraphic> newPicture() const override { return std::make_unique<TBitmap>(); }

    // The file streamed into a bitmap reduced by the largest power of two
    // that still covers atLeast: never more than that bitmap is held.
    TBitmap smallDecode(const std::string &path, QSize atLeast) const override
    {
        atLeast = atLeast.expandedTo(QSize(1, 1));
        FileSource headers(path);
        const QSize size = readBmpInfo(headers).size;
        if (size.isEmpty()) {
            throw EInvalidGraphic(QStringLiteral("Bitmap image is not valid"));
        }
        const QSize reduced = halvedToFill(size, atLeast).expandedTo(atLeast);
        TBitmap small;
        small.SetSize(reduced.width(), reduced.height());
        FileSource file(path);
        stretchBmp(file, small.Canvas(), QRect(QPoint(0, 0), reduced));
        return small;
    }
};

} // namespace

const PictureFormat &bmpFormat()
{
    static const BmpFormat format;
    return format;
}

} // namespace quillmere
