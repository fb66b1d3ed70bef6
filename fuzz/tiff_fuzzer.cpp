// libFuzzer target: loading a TIFF picture (header), then what the program
// does with it: the 100 x 75 thumbnail streamed from its strips or tiles,
// the image view's drawing at the reduction that fills a window (a second,
// larger paint decodes again), the small decode that picks a reduced page,
// and for pictures of up to 4 megapixels the whole page decoded. Runs at the
// program's own pixel cap; the run's -timeout and -rss_limit_mb turn a slow
// or greedy input into a finding.
#include "imaging/bitmap.h"
#include "imaging/encoded_picture.h"
#include "imaging/tiff_codec.h"
#include "platform/errors.h"

#include <QImage>
#include <QPainter>
#include <cstddef>
#include <cstdint>

namespace quillmere {
const PictureFormat &tiffFormat();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quillmere;
    const std::vector<std::uint8_t> bytes(data, data + size);
    TEncodedPicture picture(dynamic_cast<const EncodedPictureFormat &>(tiffFormat()));
    try {
        picture.LoadFromBytes(bytes);
    } catch (const Exception &) {
        return 0;
    }
    QImage thumbnail(100, 75, QImage::Format_RGB32);
    thumbnail.fill(0xFFFFFFFFu);
    try {
        picture.StretchDraw(thumbnail, thumbnail.rect());
    } catch (const Exception &) {
        // the designed failure: the thumbnail maker shows the fallback
    }
    QImage window(700, 450, QImage::Format_RGB32);
    for (const QSize area : {QSize(350, 225), QSize(700, 450)}) {
        QPainter painter(&window);
        try {
            picture.Draw(painter, QRect(QPoint(0, 0), area));
        } catch (const Exception &) {
            // reported once by the image view; later paints draw what is kept
        }
    }
    TiffBytes file;
    file.data = bytes.data();
    file.size = bytes.size();
    try {
        TBitmap small;
        decodeTiff(file, small, QSize(24, 16));
    } catch (const Exception &) {
    }
    if (static_cast<std::uint64_t>(picture.Width()) * static_cast<std::uint64_t>(picture.Height()) <= 4u << 20) {
        try {
            picture.Decode();
        } catch (const Exception &) {
        }
        if (picture.Bitmap()) {
            picture.StretchDraw(window, window.rect());
        }
    }
    return 0;
}
