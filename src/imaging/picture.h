#pragma once

#include "imaging/graphic.h"

#include <QRect>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPainter;

namespace quillmere {

// Holds one picture of any kind for a window to paint (the image view's
// Image1 owns one and paints it stretched over its whole area).
class TPicture {
public:
    TGraphic *Graphic() const { return graphic_.get(); }
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }

    // Puts graphic in place of the current picture and notifies.
    void SetGraphic(std::unique_ptr<TGraphic> graphic);

    // Draws the picture stretched over rect; nothing without a picture. A
    // JPEG picture decodes here the first time, and a decoding error is
    // raised on to the painting code.
    void Draw(QPainter &painter, const QRect &rect) const;

    // Called after the picture has been replaced, so the owner repaints.
    std::function<void()> OnChange;

private:
    std::unique_ptr<TGraphic> graphic_;
};

// The picture kinds known by file extension, in order of registration;
// extensions are stored lower-case.
struct PictureKind {
    std::string extension;
    std::function<std::unique_ptr<TGraphic>()> create;
};
const std::vector<PictureKind> &RegisteredPictureKinds();

// Replaces holder's picture by the picture in the file at path, of the kind
// registered for the extension of its file name (after the last dot, compared
// without regard to ASCII letter case; the registry is searched from the last
// registration back). An extension without a kind raises EInvalidGraphic
// "Unknown picture file extension (.<ext>)", the extension as written in the
// path. The file's content picks the kind that reads it when it is one of
// the picture formats (a PNG file named x.jpg is read as PNG), and a picture
// whose file records an orientation is held upright (TUprightPicture): its
// size and drawing are the upright picture's. Any failure leaves the
// holder's previous picture in place.
void LoadPictureByExtension(TPicture &holder, const std::string &path);

} // namespace quillmere
