// libFuzzer target: loading a JPEG picture (header), then what the program
// does with it: the 100 x 75 thumbnail streamed from the decoder, and the
// image view's decoding at the DCT scale that fills a window. Runs at the
// program's own pixel cap, so large-picture paths are fuzzed too; the run's
// -timeout and -rss_limit_mb turn a slow or greedy input into a finding.
#include "format_fuzz.h"
#include "imaging/jpeg_codec.h"
#include "imaging/jpeg_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quillmere;
    TJPEGImage picture;
    if (!fuzz::loadPicture(picture, data, size)) {
        return 0;
    }
    fuzz::drawThumbnail(picture);
    TBitmap view;
    try {
        decodeJpeg(data, size, view, QSize(700, 450));
    } catch (const Exception &) {
        // A failed decode keeps a partial bitmap; drawing it must be safe.
    }
    QImage window(700, 450, QImage::Format_RGB32);
    view.StretchDraw(window, window.rect());
    return 0;
}
