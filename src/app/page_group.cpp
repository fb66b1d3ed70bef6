#include "app/page_group.h"

#include <QStyleOptionGroupBox>
#include <QVBoxLayout>

namespace quillmere {

TPanel::TPanel(QWidget *parent)
    : QFrame(parent)
{
    setFrameShape(QFrame::NoFrame);
}

void TPanel::spanWidth(QWidget *child)
{
    spanning_.append(child);
    child->setGeometry(child->x(), child->y(), width(), child->height());
}

void TPanel::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    for (QWidget *child : spanning_) {
        child->setGeometry(child->x(), child->y(), width(), child->height());
    }
}

TPageGroup::TPageGroup(const QString &caption, QWidget *parent)
    : QGroupBox(caption, parent)
    , bottom_(new TPanel(this))
{
    // The group box fills its page.
    auto *layout = new QVBoxLayout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(this);
}

void TPageGroup::setFillWidget(QWidget *widget)
{
    fill_ = widget;
    resizeEvent(nullptr);
}

QRect TPageGroup::inside() const
{
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    QRect contents = style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents, this);
    if (!contents.isValid()) {
        contents = rect().adjusted(2, 16, -2, -2);
    }
    return contents.adjusted(2, 2, -2, -2);
}

void TPageGroup::resizeEvent(QResizeEvent *event)
{
    if (event != nullptr) {
        QGroupBox::resizeEvent(event);
    }
    const QRect area = inside();
    bottom_->setGeometry(area.left(), area.bottom() + 1 - panelHeight, area.width(), panelHeight);
    if (fill_ != nullptr) {
        fill_->setGeometry(area.left(), area.top(), area.width(), qMax(0, area.height() - panelHeight));
    }
}

} // namespace quillmere
