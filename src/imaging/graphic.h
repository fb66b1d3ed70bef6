#pragma once

#include <QImage>
#include <QRect>
#include <functional>
#include <string>

class QPainter;

namespace quillmere {

// A picture of one of the kinds the program reads: it has a size in pixels,
// loads itself from a file and draws itself stretched over a rectangle.
class TGraphic {
public:
    virtual ~TGraphic() = default;

    virtual int Width() const = 0;
    virtual int Height() const = 0;
    bool Empty() const { return Width() <= 0 || Height() <= 0; }

    // Replaces the content by the file's picture; raises on failure and then
    // keeps the previous content.
    virtual void LoadFromFile(const std::string &path) = 0;

    // Copies the whole picture onto rect of target, stretched to fill it
    // without keeping the aspect ratio. target is converted to the display's
    // format (QImage::Format_RGB32) first if it is in another one. A picture
    // of no pixels draws nothing. Not const: a JPEG picture decodes on its
    // first drawing.
    virtual void StretchDraw(QImage &target, const QRect &rect) = 0;

    // The same onto any painter's surface (a widget, for the image view).
    void Draw(QPainter &painter, const QRect &rect);

    // Called after the content has changed (loading, taking over a bitmap).
    std::function<void()> OnChange;

protected:
    // What Draw puts on its surface (the whole of it is area). The default
    // is StretchDraw; a picture may decode just as much as the surface
    // shows instead.
    virtual void DrawForDisplay(QImage &surface, const QRect &area) { StretchDraw(surface, area); }

    void Changed() const
    {
        if (OnChange) {
            OnChange();
        }
    }
};

class TBitmap;

// Whether a picture drawn in a window must decode a new reduced bitmap: it
// has none yet, or the one it has is smaller than the area needs while the
// picture itself has more pixels, and decoding has not failed before (a
// broken picture reports its error once).
bool NeedsDisplayDecode(const TBitmap *displayed, const QRect &area, int fullWidth, bool decodeFailed);

} // namespace quillmere
