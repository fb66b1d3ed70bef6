// libFuzzer target: the BMP reader, then drawing the result into a thumbnail
// and converting it to the display format, as the thumbnail maker does.
#include "imaging/bitmap.h"
#include "imaging/byte_source.h"
#include "imaging/picture_limits.h"
#include "platform/errors.h"

#include <QImage>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Small enough that every accepted header decodes in milliseconds.
    quillmere::setMaxPicturePixels(4u << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    quillmere::MemorySource source(data, size);
    quillmere::TBitmap bitmap;
    try {
        bitmap.LoadFromStream(source);
    } catch (const quillmere::Exception &) {
        return 0; // the designed errors
    }
    QImage thumbnail(100, 75, QImage::Format_RGB32);
    thumbnail.fill(0xFFFFFFFFu);
    bitmap.StretchDraw(thumbnail, thumbnail.rect());
    bitmap.StretchDraw(thumbnail, QRect(-7, 3, 301, 2));
    (void)bitmap.ToDisplayImage();
    return 0;
}
