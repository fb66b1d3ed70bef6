#include "review/image_view_window.h"

#include "common/error_report.h"
#include "review/side_by_side_view.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <cmath>

namespace quillmere {

namespace {
constexpr int kBaseWidth = 700;
constexpr int kBaseHeight = 450;
} // namespace

QSize ImageViewSizeFor(int width, int height)
{
    // std::nearbyint rounds halves to the even neighbour in the default mode.
    if (width > height) {
        const double ratio = static_cast<double>(width) / height;
        return {kBaseWidth, static_cast<int>(std::nearbyint(kBaseWidth / ratio))};
    }
    if (width < height) {
        const double ratio = static_cast<double>(height) / width;
        return {static_cast<int>(std::nearbyint(kBaseHeight / ratio)), kBaseHeight};
    }
    return {kBaseWidth, kBaseHeight};
}

TImage::TImage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Image1"));
    Picture.OnChange = [this] { update(); };
}

void TImage::paintEvent(QPaintEvent *)
{
    // A picture that fails to decode while painting is reported once the
    // paint is over; the picture keeps what it decoded, so the next paint
    // does not fail again.
    paintReportingErrors([this] {
        QPainter painter(this);
        Picture.Draw(painter, rect());
    });
}

void TImage::mouseDoubleClickEvent(QMouseEvent *)
{
    if (OnDblClick) {
        OnDblClick();
    }
}

TForm2::TForm2(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Image View"));
    setSizeGripEnabled(false);
    Image1 = new TImage(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Image1);
    SideBySide = new TSideBySideView(this);
    SideBySide->hide();
    layout->addWidget(SideBySide);
    Image1->OnDblClick = [this] { Image1DblClick(); };
    move(302, 194);
    setOuterSize(500, 379);
}

void TForm2::Image1DblClick()
{
    // Double-clicking the picture does nothing.
}

void TForm2::showOnePicture()
{
    SideBySide->hide();
    Image1->show();
}

void TForm2::showSideBySide()
{
    Image1->hide();
    SideBySide->show();
}

void TForm2::keepOnScreen()
{
    const QScreen *shownOn = screen();
    if (shownOn == nullptr) {
        return;
    }
    const QRect room = shownOn->availableGeometry();
    const QRect frame = frameGeometry();
    const int x = qMax(room.left(), qMin(frame.left(), room.right() + 1 - frame.width()));
    const int y = qMax(room.top(), qMin(frame.top(), room.bottom() + 1 - frame.height()));
    if (x != frame.left() || y != frame.top()) {
        move(x, y);
    }
}

void TForm2::setOuterSize(int width, int height)
{
    const QSize frame = frameGeometry().size() - geometry().size();
    resize(qMax(1, width - frame.width()), qMax(1, height - frame.height()));
}

QSize TForm2::outerSize() const
{
    return frameGeometry().size();
}

void TForm2::keyPressEvent(QKeyEvent *event)
{
    // Escape closes the view, as it closes any window of its kind.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace quillmere
