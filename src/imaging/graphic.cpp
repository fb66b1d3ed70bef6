#include "imaging/graphic.h"
#include "imaging/bitmap.h"

#include <QPainter>

namespace quillmere {

void TGraphic::Draw(QPainter &painter, const QRect &rect)
{
    if (Empty() || rect.isEmpty()) {
        return;
    }
    // Stretch into an image of the rectangle's size with our own sampling,
    // then copy it.
    QImage surface(rect.size(), QImage::Format_RGB32);
    if (surface.isNull()) {
        return;
    }
    surface.fill(Qt::white);
    DrawForDisplay(surface, QRect(QPoint(0, 0), rect.size()));
    painter.drawImage(rect.topLeft(), surface);
}

} // namespace quillmere

namespace quillmere {

bool NeedsDisplayDecode(const TBitmap *displayed, const QRect &area, int fullWidth, bool decodeFailed)
{
    if (displayed == nullptr) {
        return true;
    }
    const bool tooSmall = (displayed->Width() < area.width() || displayed->Height() < area.height())
        && displayed->Width() < fullWidth;
    return tooSmall && !decodeFailed;
}

} // namespace quillmere
