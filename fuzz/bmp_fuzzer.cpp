// libFuzzer target: BMP files as the program reads them, at its own pixel
// cap: the 100 x 75 thumbnail streamed from the file, and the image view's
// drawing of a bitmap kept as stored (700 x 450). Pictures small enough to
// read whole are also read whole, drawn and converted to the display format.
// The run's -timeout and -rss_limit_mb turn a slow or greedy input into a
// finding.
#include "imaging/bitmap.h"
#include "imaging/bmp_reader.h"
#include "imaging/byte_source.h"
#include "platform/errors.h"

#include <QImage>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QImage thumbnail(100, 75, QImage::Format_RGB32);
    thumbnail.fill(0xFFFFFFFFu);
    QSize pictureSize;
    try {
        quillmere::MemorySource source(data, size);
        pictureSize = quillmere::stretchBmp(source, thumbnail, thumbnail.rect());
    } catch (const quillmere::Exception &) {
        return 0; // the designed errors
    }
    QImage window(700, 450, QImage::Format_RGB32);
    quillmere::MemorySource again(data, size);
    quillmere::stretchBmp(again, window, QRect(-7, 3, 701, 449));

    if (static_cast<std::uint64_t>(pictureSize.width()) * static_cast<std::uint64_t>(pictureSize.height()) <= (4u << 20)) {
        quillmere::MemorySource whole(data, size);
        quillmere::TBitmap bitmap;
        bitmap.LoadFromStream(whole);
        bitmap.StretchDraw(thumbnail, thumbnail.rect());
        (void)bitmap.ToDisplayImage();
    }
    return 0;
}
