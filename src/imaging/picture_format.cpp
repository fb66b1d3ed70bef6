#include "imaging/picture_format.h"

#include "imaging/fallback_picture.h"
#include "imaging/image_list.h"
#include "imaging/orientation.h"

#include <algorithm>

namespace quillmere {

PictureFormat::PictureFormat(QString name, std::vector<std::string> extensions, NameTest nameTest)
    : name_(std::move(name))
    , extensions_(std::move(extensions))
    , nameTest_(nameTest)
{
}

QString PictureFormat::mask() const
{
    return QStringLiteral("*.") + QString::fromStdString(extensions_.front());
}

bool PictureFormat::claimsExtension(const std::string &extension) const
{
    return std::find(extensions_.begin(), extensions_.end(), extension) != extensions_.end();
}

bool PictureFormat::namesFile(const std::string &lowerName) const
{
    return std::any_of(extensions_.begin(), extensions_.end(), [&](const std::string &extension) {
        const std::string dotted = "." + extension;
        return nameTest_ == NameTest::Contains ? lowerName.find(dotted) != std::string::npos
                                               : lowerName.ends_with(dotted);
    });
}

std::vector<std::uint8_t> PictureFormat::exifBlock(const std::string &) const
{
    return {};
}

int PictureFormat::orientation(const std::string &path) const
{
    return exifOrientation(exifBlock(path));
}

std::optional<FormatThumbnail> PictureFormat::rowThumbnailOfUnrecognised(const std::uint8_t *, std::size_t) const
{
    return std::nullopt;
}

FormatThumbnail PictureFormat::rowThumbnailOver(const std::string &path, QSize area) const
{
    FormatThumbnail made = rowThumbnail(path);
    if (!made.ownPicture || area == rowThumbnailArea().size()) {
        return made;
    }
    try {
        TBitmap small = smallDecode(path, area);
        TBitmap thumbnail = newRowThumbnail(area);
        small.StretchDraw(thumbnail.Canvas(), QRect(QPoint(0, 0), area));
        made.thumbnail = std::move(thumbnail);
    } catch (const std::exception &) {
        made.thumbnail = standInThumbnail(area);
        made.ownPicture = false;
        made.size.reset();
    }
    return made;
}

TBitmap newRowThumbnail()
{
    // Given its size width first, then height, as the thumbnail maker does.
    TBitmap thumbnail;
    thumbnail.SetWidth(TImageList::EntryWidth);
    thumbnail.SetHeight(TImageList::EntryHeight);
    return thumbnail;
}

TBitmap newRowThumbnail(QSize area)
{
    TBitmap thumbnail;
    thumbnail.SetWidth(area.width());
    thumbnail.SetHeight(area.height());
    return thumbnail;
}

TBitmap standInThumbnail(QSize area)
{
    TBitmap thumbnail = newRowThumbnail(area);
    TBitmap fallback(fallbackPicture());
    fallback.StretchDraw(thumbnail.Canvas(), QRect(QPoint(0, 0), area));
    return thumbnail;
}

QRect rowThumbnailArea()
{
    return QRect(0, 0, TImageList::EntryWidth, TImageList::EntryHeight);
}

QSize halvedToFill(QSize picture, QSize fill)
{
    if (!fill.isValid()) {
        return picture;
    }
    const auto halved = [](std::int64_t side, std::int64_t divisor) { return (side + divisor - 1) / divisor; };
    std::int64_t divisor = 1;
    while (divisor < (1 << 20) && halved(picture.width(), 2 * divisor) >= fill.width() &&
           halved(picture.height(), 2 * divisor) >= fill.height()) {
        divisor *= 2;
    }
    return QSize(static_cast<int>(halved(picture.width(), divisor)), static_cast<int>(halved(picture.height(), divisor)));
}

TBitmap grownTo(TBitmap bitmap, QSize atLeast)
{
    if (bitmap.Width() >= atLeast.width() && bitmap.Height() >= atLeast.height()) {
        return bitmap;
    }
    TBitmap grown;
    grown.SetSize(std::max(bitmap.Width(), atLeast.width()), std::max(bitmap.Height(), atLeast.height()));
    bitmap.StretchDraw(grown.Canvas(), QRect(QPoint(0, 0), grown.Canvas().size()));
    return grown;
}

} // namespace quillmere
