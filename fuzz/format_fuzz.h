// What the fuzz targets do with a loaded picture, the way the program uses
// it: the 100 x 75 row thumbnail, two paints of the image view (350 x 225,
// then 700 x 450, so the second decodes again), and for pictures of up to
// 4 megapixels the whole picture decoded and drawn. Each target adds the
// steps its format has on top. Failures the program reports are the designed
// outcome; anything else (a crash, a leak, a slow or greedy input) is a
// finding.
#pragma once

#include "imaging/bitmap.h"
#include "imaging/encoded_picture.h"
#include "platform/errors.h"

#include <QImage>
#include <QPainter>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillmere::fuzz {

// Reads the picture's header; false when the file is refused.
inline bool loadPicture(TEncodedPicture &picture, const std::uint8_t *data, std::size_t size)
{
    try {
        picture.LoadFromBytes(std::vector<std::uint8_t>(data, data + size));
    } catch (const Exception &) {
        return false;
    }
    return true;
}

inline void drawThumbnail(TEncodedPicture &picture)
{
    QImage thumbnail(100, 75, QImage::Format_RGB32);
    thumbnail.fill(0xFFFFFFFFu);
    try {
        picture.StretchDraw(thumbnail, thumbnail.rect());
    } catch (const Exception &) {
        // the designed failure: the thumbnail maker shows the stand-in
    }
}

inline void paintViewTwice(TEncodedPicture &picture, QImage &window)
{
    for (const QSize area : {QSize(350, 225), QSize(700, 450)}) {
        QPainter painter(&window);
        try {
            picture.Draw(painter, QRect(QPoint(0, 0), area));
        } catch (const Exception &) {
            // reported once by the image view; later paints draw what is kept
        }
    }
}

inline void decodeWholeIfSmall(TEncodedPicture &picture, QImage &window)
{
    if (static_cast<std::uint64_t>(picture.Width()) * static_cast<std::uint64_t>(picture.Height()) > 4u << 20) {
        return;
    }
    try {
        picture.Decode();
    } catch (const Exception &) {
    }
    if (picture.Bitmap()) {
        picture.StretchDraw(window, window.rect());
    }
}

// No steps of a format's own.
struct NoFurtherSteps {
    void operator()() const {}
};

// Load, thumbnail, two view paints, the format's own steps, whole decode.
template <class FormatSteps = NoFurtherSteps>
int fuzzPicture(TEncodedPicture &picture, const std::uint8_t *data, std::size_t size,
                FormatSteps formatSteps = {})
{
    if (!loadPicture(picture, data, size)) {
        return 0;
    }
    drawThumbnail(picture);
    QImage window(700, 450, QImage::Format_RGB32);
    paintViewTwice(picture, window);
    formatSteps();
    decodeWholeIfSmall(picture, window);
    return 0;
}

} // namespace quillmere::fuzz
