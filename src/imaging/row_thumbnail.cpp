#include "imaging/row_thumbnail.h"

#include "imaging/image_list.h"
#include "imaging/orientation.h"
#include "imaging/picture_content.h"
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

FormatThumbnail uprightThumbnail(const PictureFormat &reader, const std::string &path, int orientation)
{
    if (orientation == kUpright) {
        return reader.rowThumbnail(path);
    }
    // Stretched at the stored picture's proportions, then turned: the same
    // pixels as the upright picture stretched to 100 x 75, for the cost of
    // turning 7,500 pixels.
    const QSize area = rowThumbnailArea().size();
    FormatThumbnail made = reader.rowThumbnailOver(path, storedSize(area, orientation));
    if (!made.ownPicture) {
        // The stand-in is never turned, and its size stays as the rules
        // gave it.
        made.thumbnail = standInThumbnail(area);
        return made;
    }
    QImage upright = uprightImage(made.thumbnail.ToDisplayImage(), orientation);
    if (upright.size() != area) {
        // A format that could not draw at the asked size.
        upright = upright.scaled(area);
    }
    made.thumbnail.SetPixels(std::move(upright), 32);
    if (made.size) {
        made.size = uprightSize(*made.size, orientation);
    }
    return made;
}

DecodedThumbnails decodeThumbnails(const std::string &path)
{
    return decodeThumbnails(path, path);
}

DecodedThumbnails decodeThumbnails(const std::string &path, const std::string &readPath)
{
    DecodedThumbnails decoded;
    const std::vector<const PictureFormat *> steps = PictureFormatsNamedBy(path);
    if (steps.empty()) {
        return decoded;
    }
    // The name decides how many steps run and in which order; what the file
    // holds decides how each step reads it. A file no format recognises is
    // read by the step's own format, which gives the stand-in by its rules.
    const std::vector<std::uint8_t> start = ContentStart(readPath);
    const PictureFormat *content = PictureFormatOfBytes(start.data(), start.size());
    const int orientation = content != nullptr ? OrientationOf(*content, readPath) : kUpright;
    std::optional<FormatThumbnail> contentThumbnail; // made once, for every step that reads by content
    for (const PictureFormat *named : steps) {
        FormatThumbnail made;
        if (content != nullptr) {
            if (!contentThumbnail) {
                contentThumbnail = uprightThumbnail(*content, readPath, orientation);
            }
            made = *contentThumbnail;
        } else if (std::optional<FormatThumbnail> settled = named->rowThumbnailOfUnrecognised(start.data(),
                                                                                               start.size())) {
            made = std::move(*settled);
        } else {
            made = named->rowThumbnail(readPath);
        }
        decoded.entries.push_back(DecodedThumbnails::Entry{std::move(made.thumbnail), made.ownPicture, std::nullopt});
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
        const int index = entry.prepared ? list.Add(*entry.prepared) : list.Add(entry.thumbnail);
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
