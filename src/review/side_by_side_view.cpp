#include "review/side_by_side_view.h"

#include "common/error_report.h"

#include <QPainter>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace quillmere {

namespace {
constexpr int kMostPicturesWidth = 1000;
constexpr int kMostPicturesHeight = 560;
constexpr int kLeastViewWidth = 400;

// Each line of a caption cut short with an ellipsis where it is wider than
// its half of the view.
void drawCaption(QPainter &painter, const QRect &place, const QString &caption)
{
    QStringList lines = caption.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        line = painter.fontMetrics().elidedText(line, Qt::ElideMiddle, std::max(0, place.width() - 4));
    }
    painter.drawText(place, Qt::AlignHCenter | Qt::AlignTop, lines.join(QLatin1Char('\n')));
}

int scaled(int length, double scale)
{
    return std::max(1, static_cast<int>(std::lround(length * scale)));
}
} // namespace

SideBySidePlaces PlaceSideBySide(QSize left, QSize right, const QRect &area, int gap)
{
    SideBySidePlaces places;
    const int pictureWidths = left.width() + right.width();
    const int tallest = std::max(left.height(), right.height());
    if (pictureWidths <= 0 || tallest <= 0 || area.width() <= gap || area.height() <= 0) {
        return places;
    }
    places.scale = std::min(
        static_cast<double>(area.width() - gap) / pictureWidths, static_cast<double>(area.height()) / tallest);
    const QSize leftShown(scaled(left.width(), places.scale), scaled(left.height(), places.scale));
    const QSize rightShown(scaled(right.width(), places.scale), scaled(right.height(), places.scale));
    const int x = area.left() + (area.width() - leftShown.width() - gap - rightShown.width()) / 2;
    places.left = QRect(QPoint(x, area.top() + (area.height() - leftShown.height()) / 2), leftShown);
    places.right = QRect(
        QPoint(x + leftShown.width() + gap, area.top() + (area.height() - rightShown.height()) / 2), rightShown);
    return places;
}

QSize SideBySideViewSizeFor(QSize left, QSize right, int captionHeight)
{
    const int gap = TSideBySideView::kGap;
    const SideBySidePlaces places
        = PlaceSideBySide(left, right, QRect(0, 0, kMostPicturesWidth, kMostPicturesHeight), gap);
    const int width = places.right.right() - places.left.left() + 1;
    const int height = std::max(places.left.height(), places.right.height());
    return { std::max(kLeastViewWidth, width + 2 * gap), height + 2 * gap + captionHeight };
}

TSideBySideView::TSideBySideView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("SideBySide"));
    Left.OnChange = [this] { update(); };
    Right.OnChange = [this] { update(); };
}

void TSideBySideView::setCaptions(const QString &left, const QString &right)
{
    leftCaption_ = left;
    rightCaption_ = right;
    update();
}

int TSideBySideView::captionHeight() const
{
    return 2 * fontMetrics().lineSpacing() + kGap / 2;
}

void TSideBySideView::paintEvent(QPaintEvent *)
{
    // As in the one-picture view, a picture that fails to decode while
    // painting is reported once the paint is over.
    paintReportingErrors([this] {
        QPainter painter(this);
        painter.fillRect(rect(), palette().window());
        const QRect pictures = rect().adjusted(kGap, kGap, -kGap, -kGap - captionHeight());
        const SideBySidePlaces places
            = PlaceSideBySide(QSize(Left.Width(), Left.Height()), QSize(Right.Width(), Right.Height()), pictures, kGap);
        // Each caption is centred under its half of the view, split between
        // the two pictures.
        const int split = places.left.isValid() ? (places.left.right() + places.right.left()) / 2 : width() / 2;
        const int captionTop = pictures.bottom() + kGap / 2;
        const QRect leftText(0, captionTop, split, captionHeight());
        const QRect rightText(split, captionTop, width() - split, captionHeight());
        painter.setPen(palette().windowText().color());
        drawCaption(painter, leftText, leftCaption_);
        drawCaption(painter, rightText, rightCaption_);
        if (places.left.isValid()) {
            Left.Draw(painter, places.left);
            Right.Draw(painter, places.right);
        }
    });
}

} // namespace quillmere
