#include "imaging/encoded_picture_format.h"

#include "imaging/byte_source.h"
#include "imaging/encoded_picture.h"
#include "imaging/fallback_picture.h"

#include <algorithm>
#include <exception>

namespace quillmere {

namespace {
// Enough for the headers of nearly every file, thumbnails and metadata
// blocks included; files whose headers reach further are read whole.
constexpr std::uint64_t kHeaderPrefixBytes = 256 * 1024;
} // namespace

QSize EncodedPictureFormat::pictureSize(const std::string &path) const
{
    FileSource file(path);
    if (file.length() == 0) {
        return QSize(0, 0);
    }
    std::vector<std::uint8_t> prefix(static_cast<std::size_t>(std::min(file.length(), kHeaderPrefixBytes)));
    prefix.resize(file.read(prefix.data(), prefix.size()));
    try {
        const PictureHeader header = readHeader(prefix.data(), prefix.size());
        return QSize(header.width, header.height);
    } catch (const std::exception &) {
        if (prefix.size() >= file.length()) {
            throw;
        }
    }
    const std::vector<std::uint8_t> whole = readWholeFile(path);
    if (whole.empty()) {
        return QSize(0, 0);
    }
    const PictureHeader header = readHeader(whole.data(), whole.size());
    return QSize(header.width, header.height);
}

FormatThumbnail EncodedPictureFormat::rowThumbnail(const std::string &path) const
{
    return rowThumbnailOver(path, rowThumbnailArea().size());
}

namespace {

// The stand-in as a picture of the format that could not read a file, drawn
// over area.
TBitmap stretchedStandIn(const EncodedPictureFormat &format, QSize area)
{
    TEncodedPicture picture(format);
    picture.Assign(fallbackPicture());
    TBitmap thumbnail = newRowThumbnail(area);
    picture.StretchDraw(thumbnail.Canvas(), QRect(QPoint(0, 0), area));
    return thumbnail;
}

} // namespace

const TBitmap &EncodedPictureFormat::standInRowThumbnail() const
{
    std::call_once(standInMade_, [this] { standIn_ = stretchedStandIn(*this, rowThumbnailArea().size()); });
    return standIn_;
}

FormatThumbnail EncodedPictureFormat::unloadableThumbnail(QSize area) const
{
    FormatThumbnail made;
    made.thumbnail = area == rowThumbnailArea().size() ? standInRowThumbnail() : stretchedStandIn(*this, area);
    made.ownPicture = false;
    made.size = QSize(fallbackPicture().Width(), fallbackPicture().Height());
    return made;
}

std::optional<FormatThumbnail> EncodedPictureFormat::rowThumbnailOfUnrecognised(const std::uint8_t *first,
                                                                               std::size_t size) const
{
    if (size > 0 && refusesHeaderStart(first, size)) {
        return unloadableThumbnail(rowThumbnailArea().size());
    }
    return std::nullopt;
}

FormatThumbnail EncodedPictureFormat::rowThumbnailOver(const std::string &path, QSize area) const
{
    const QRect whole(QPoint(0, 0), area);
    const auto standIn = [&] {
        return area == rowThumbnailArea().size() ? standInRowThumbnail() : stretchedStandIn(*this, area);
    };
    TEncodedPicture picture(*this);
    try {
        picture.LoadFromFile(path);
    } catch (const std::exception &) {
        return unloadableThumbnail(area);
    }
    FormatThumbnail made;
    try {
        made.thumbnail = newRowThumbnail(area);
        picture.StretchDraw(made.thumbnail.Canvas(), whole); // decodes
        made.ownPicture = true;
        made.size = QSize(picture.Width(), picture.Height());
    } catch (const std::exception &) {
        made.thumbnail = standIn();
        made.ownPicture = false;
        made.size.reset();
    }
    return made;
}

std::unique_ptr<TGraphic> EncodedPictureFormat::newPicture() const
{
    return std::make_unique<TEncodedPicture>(*this);
}

TBitmap EncodedPictureFormat::smallDecode(const std::string &path, QSize atLeast) const
{
    atLeast = atLeast.expandedTo(QSize(1, 1));
    const std::vector<std::uint8_t> bytes = readWholeFile(path);
    PictureHeader header;
    if (!bytes.empty()) {
        header = readHeader(bytes.data(), bytes.size());
    }
    TBitmap decoded;
    decode(bytes.data(), bytes.size(), header, decoded, atLeast);
    return grownTo(std::move(decoded), atLeast);
}

} // namespace quillmere
