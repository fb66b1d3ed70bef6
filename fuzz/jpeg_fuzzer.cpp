// libFuzzer target: loading a JPEG picture (header), then what the program
// does with it: the 100 x 75 thumbnail streamed from the decoder, and the
// image view's decoding at the DCT scale that fills a window. Runs at the
// program's own pixel cap, so large-picture paths are fuzzed too; the run's
// -timeout and -rss_limit_mb turn a slow or greedy input into a finding.
#include "imaging/bitmap.h"
#include "imaging/jpeg_codec.h"
#include "imaging/jpeg_format.h"
#include "platform/errors.h"

#include <QImage>
#include <cstddef>
#include <cstdint>

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
        // the designed failure: the thumbnail maker shows the fallback
    }
    quillmere::TBitmap view;
    try {
        quillmere::decodeJpeg(data, size, view, QSize(700, 450));
    } catch (const quillmere::Exception &) {
        // A failed decode keeps a partial bitmap; drawing it must be safe.
    }
    QImage window(700, 450, QImage::Format_RGB32);
    view.StretchDraw(window, window.rect());
    return 0;
}
