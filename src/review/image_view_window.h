#pragma once

#include "imaging/picture.h"

#include <QDialog>
#include <functional>

namespace quillmere {

// The picture box of the image view: draws its picture stretched over its
// whole area, so the picture takes the window's proportions.
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget *parent = nullptr);
    TPicture Picture;
    std::function<void()> OnDblClick;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

class TSideBySideView;

// The image view window: one picture, or after a similar-picture search two
// pictures side by side, shown modally and closed only by the window's own
// close commands.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget *parent = nullptr);

    TImage *Image1;
    void Image1DblClick();
    // Shown instead of Image1 while two pictures are compared.
    TSideBySideView *SideBySide;
    void showOnePicture();
    void showSideBySide();
    // Moves the window, when it is larger than where it stands allows, so
    // that all of it lies on its screen (the side-by-side view is wide).
    void keepOnScreen();

    // Outer size, frame and caption included.
    void setOuterSize(int width, int height);
    QSize outerSize() const;

    // Shows the window modally; tests replace it to look without blocking.
    std::function<void(TForm2 &)> ShowModal = [](TForm2 &form) { form.exec(); };

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// The outer size of the image view for a picture of width x height: 700 wide
// for landscape pictures, 450 high for portrait ones, the other side in the
// picture's proportion, rounded to the nearest integer (halves to even).
QSize ImageViewSizeFor(int width, int height);

} // namespace quillmere
