#include "imaging/picture_content.h"

#include "imaging/byte_source.h"
#include "imaging/orientation.h"
#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"

#include <exception>

namespace quillmere {

namespace {
// Enough for every registered format's signature.
constexpr std::size_t kSignatureBytes = 64;
} // namespace

const PictureFormat *PictureFormatOfBytes(const std::uint8_t *data, std::size_t size)
{
    for (const PictureFormat *format : PictureFormats()) {
        if (format->hasSignature(data, size)) {
            return format;
        }
    }
    return nullptr;
}

const PictureFormat *PictureFormatOfContent(const std::string &path)
{
    const std::vector<std::uint8_t> first = ContentStart(path);
    return PictureFormatOfBytes(first.data(), first.size());
}

std::vector<std::uint8_t> ContentStart(const std::string &path)
{
    try {
        FileSource file(path);
        std::vector<std::uint8_t> first(kSignatureBytes);
        first.resize(file.read(first.data(), first.size()));
        return first;
    } catch (const std::exception &) {
        return {};
    }
}

int OrientationOf(const PictureFormat &format, const std::string &path) noexcept
{
    try {
        const int orientation = format.orientation(path);
        return isOrientation(orientation) ? orientation : kUpright;
    } catch (...) {
        return kUpright;
    }
}

std::optional<QSize> UprightPictureSize(const std::string &path)
{
    const PictureFormat *format = PictureFormatOfContent(path);
    if (format == nullptr) {
        return std::nullopt;
    }
    try {
        return uprightSize(format->pictureSize(path), OrientationOf(*format, path));
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

TBitmap UprightSmallDecode(const PictureFormat &format, const std::string &path, QSize atLeast)
{
    const int orientation = OrientationOf(format, path);
    TBitmap stored = format.smallDecode(path, storedSize(atLeast, orientation));
    if (orientation == kUpright) {
        return stored;
    }
    TBitmap upright;
    upright.SetPixels(uprightImage(stored.ToDisplayImage(), orientation), 32);
    return upright;
}

} // namespace quillmere
