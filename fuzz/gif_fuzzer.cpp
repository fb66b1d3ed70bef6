// libFuzzer target: loading a GIF picture (header), then what the program
// does with it: the 100 x 75 thumbnail, the image view's drawing at the size
// that fills a 350 x 225 and then a 700 x 450 window (the second decodes
// again), and for pictures of up to 4 megapixels the whole picture decoded.
// Runs at the program's own pixel cap; the run's -timeout and -rss_limit_mb
// turn a slow or greedy input into a finding.
#include "imaging/bitmap.h"
#include "imaging/encoded_picture.h"
#include "imaging/picture_format.h"
#include "platform/errors.h"

#include <QImage>
#include <QPainter>
#include <cstddef>
#include <cstdint>

namespace quillmere {
const PictureFormat &gifFormat();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::uint8_t> bytes(data, data + size);
    const auto &format = dynamic_cast<const quillmere::EncodedPictureFormat &>(quillmere::gifFormat());
    quillmere::TEncodedPicture picture(format);
    try {
        picture.LoadFromBytes(bytes);
    } catch (const quillmere::Exception &) {
        return 0;
    }
    QImage thumbnail(100, 75, QImage::Format_RGB32);
    thumbnail.fill(0xFFFFFFFFu);
    try {
        picture.StretchDraw(thumbnail, thumbnail.rect());
    } catch (const quillmere::Exception &) {
        // the designed failure: the thumbnail maker shows the stand-in
    }
    QImage window(700, 450, QImage::Format_RGB32);
    for (const QSize area : {QSize(350, 225), QSize(700, 450)}) {
        QPainter painter(&window);
        try {
            picture.Draw(painter, QRect(QPoint(0, 0), area));
        } catch (const quillmere::Exception &) {
            // reported once by the image view; later paints draw what is kept
        }
    }
    if (static_cast<std::uint64_t>(picture.Width()) * static_cast<std::uint64_t>(picture.Height()) <= 4u << 20) {
        try {
            picture.Decode();
        } catch (const quillmere::Exception &) {
        }
        if (picture.Bitmap()) {
            picture.StretchDraw(window, window.rect());
        }
    }
    return 0;
}
