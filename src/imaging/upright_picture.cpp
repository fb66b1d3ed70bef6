#include "imaging/upright_picture.h"

#include "imaging/orientation.h"

#include <QPainter>

namespace quillmere {

TUprightPicture::TUprightPicture(std::unique_ptr<TGraphic> stored, int orientation)
    : stored_(std::move(stored))
    , orientation_(isOrientation(orientation) ? orientation : kUpright)
{
}

int TUprightPicture::Width() const
{
    return uprightSize(QSize(stored_->Width(), stored_->Height()), orientation_).width();
}

int TUprightPicture::Height() const
{
    return uprightSize(QSize(stored_->Width(), stored_->Height()), orientation_).height();
}

void TUprightPicture::LoadFromFile(const std::string &path)
{
    stored_->LoadFromFile(path);
    Changed();
}

void TUprightPicture::StretchDraw(QImage &target, const QRect &rect)
{
    if (Empty() || rect.isEmpty()) {
        return;
    }
    QImage stored(storedSize(rect.size(), orientation_), QImage::Format_RGB32);
    if (stored.isNull()) {
        return;
    }
    stored.fill(Qt::white);
    stored_->StretchDraw(stored, stored.rect());
    putTurned(stored, target, rect);
}

void TUprightPicture::DrawForDisplay(QImage &surface, const QRect &area)
{
    QImage stored(storedSize(area.size(), orientation_), QImage::Format_RGB32);
    if (stored.isNull()) {
        return;
    }
    stored.fill(Qt::white);
    {
        QPainter painter(&stored);
        stored_->Draw(painter, stored.rect());
    }
    putTurned(stored, surface, area);
}

void TUprightPicture::putTurned(const QImage &stored, QImage &target, const QRect &rect) const
{
    if (target.format() != QImage::Format_RGB32) {
        target = target.convertToFormat(QImage::Format_RGB32);
    }
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(rect.topLeft(), uprightImage(stored, orientation_));
}

} // namespace quillmere
