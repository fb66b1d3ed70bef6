#include "imaging/row_thumbnail.h"

#include "imaging/image_list.h"
#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"

namespace quillmere {

QString resolutionText(int width, int height)
{
    return QStringLiteral("%1 X %2").arg(width).arg(height);
}

QString resolutionText(QSize size)
{
    return resolutionText(size.width(), size.height());
}

DecodedThumbnails decodeThumbnails(const std::string &path)
{
    DecodedThumbnails decoded;
    for (const PictureFormat *format : PictureFormatsNamedBy(path)) {
        FormatThumbnail made = format->rowThumbnail(path);
        decoded.entries.push_back(DecodedThumbnails::Entry{std::move(made.thumbnail), made.ownPicture});
        if (made.size) {
            decoded.resolution = resolutionText(*made.size);
        }
    }
    return decoded;
}

ThumbnailOutcome addThumbnails(const DecodedThumbnails &decoded, TImageList &list)
{
    ThumbnailOutcome outcome;
    for (const DecodedThumbnails::Entry &entry : decoded.entries) {
        const int index = list.Add(entry.thumbnail);
        ++outcome.appended;
        outcome.lastIndex = index;
        // A later step's stand-in never hides an earlier step's picture: a
        // JPEG named photo.bmp.jpg shows its photo, not the failed bitmap
        // step's stand-in.
        if (entry.ownPicture || !outcome.showsOwnPicture) {
            outcome.shownIndex = index;
            outcome.showsOwnPicture = entry.ownPicture;
        }
    }
    outcome.resolution = decoded.resolution;
    return outcome;
}

ThumbnailOutcome makeThumbnails(const std::string &path, TImageList &list)
{
    return addThumbnails(decodeThumbnails(path), list);
}

} // namespace quillmere
