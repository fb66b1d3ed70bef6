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

FormatThumbnail EncodedPictureFormat::rowThumbnailOver(const std::string &path, QSize area) const
{
    const QRect whole(QPoint(0, 0), area);
    TEncodedPicture picture(*this);
    bool loaded = true;
    try {
        picture.LoadFromFile(path);
    } catch (const std::exception &) {
        picture.Assign(fallbackPicture());
        loaded = false;
    }
    FormatThumbnail made;
    try {
        made.thumbnail = newRowThumbnail(area);
        picture.StretchDraw(made.thumbnail.Canvas(), whole); // decodes
        made.ownPicture = loaded;
        made.size = QSize(picture.Width(), picture.Height());
    } catch (const std::exception &) {
        picture.Assign(fallbackPicture());
        made.thumbnail = newRowThumbnail(area);
        picture.StretchDraw(made.thumbnail.Canvas(), whole);
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
