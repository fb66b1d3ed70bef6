#pragma once

#include "imaging/picture.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

namespace quillmere {

// Where two pictures go when they are shown side by side at one scale: both
// fit into `area` with `gap` pixels between them, centred, keeping their
// proportions, so that a smaller copy looks smaller than its original.
struct SideBySidePlaces {
    QRect left;
    QRect right;
    double scale = 0; // shown pixels per picture pixel, the same for both
};
SideBySidePlaces PlaceSideBySide(QSize left, QSize right, const QRect &area, int gap);

// The outer size the image view takes for two pictures side by side: at
// most 1000 pixels wide and 560 high for the pictures, plus their captions.
QSize SideBySideViewSizeFor(QSize left, QSize right, int captionHeight);

// Two pictures, each upright, drawn at one scale beside each other, each with
// a caption under it. The set's best copy goes on the left.
class TSideBySideView : public QWidget {
    Q_OBJECT
public:
    explicit TSideBySideView(QWidget *parent = nullptr);

    TPicture Left;
    TPicture Right;
    void setCaptions(const QString &left, const QString &right);
    QString leftCaption() const { return leftCaption_; }
    QString rightCaption() const { return rightCaption_; }

    // The height of the caption strip under the pictures (two lines).
    int captionHeight() const;
    static constexpr int kGap = 12;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString leftCaption_;
    QString rightCaption_;
};

} // namespace quillmere
