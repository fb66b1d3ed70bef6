// libFuzzer target: loading a JPEG picture (header), decoding it and
// stretching it into a thumbnail.
#include "imaging/jpeg_image.h"
#include "imaging/picture_limits.h"
#include "platform/errors.h"

#include <QImage>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    quillmere::setMaxPicturePixels(4u << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    quillmere::TJPEGImage picture;
    try {
        picture.LoadFromBytes(std::vector<std::uint8_t>(data, data + size));
    } catch (const quillmere::Exception &) {
        return 0;
    }
    QImage thumbnail(100, 75, QImage::Format_RGB32);
    thumbnail.fill(0xFFFFFFFFu);
    try {
        picture.StretchDraw(thumbnail, thumbnail.rect());
    } catch (const quillmere::Exception &) {
        // A failed decode keeps a partial bitmap; drawing it must be safe.
        if (picture.Bitmap() != nullptr) {
            quillmere::TBitmap partial(*picture.Bitmap());
            partial.StretchDraw(thumbnail, thumbnail.rect());
        }
    }
    return 0;
}
