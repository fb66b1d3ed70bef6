#include "app/held_progress.h"

#include "app/still_progress.h"
#include "platform/path_text.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>

namespace quillmere {

HeldProgress::HeldProgress(QLabel *label1, QLabel *label3, QLabel *label4, QProgressBar *bar)
    : labels_{label1, label3, label4}
    , bar_(bar)
{
}

HeldProgress::~HeldProgress()
{
    if (depth_ > 0 && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
}

void HeldProgress::setLabel(int which, const QString &text)
{
    const auto index = static_cast<std::size_t>(which);
    texts_.at(index) = text;
    kept_ = true;
    if (depth_ == 0) {
        apply();
    }
}

void HeldProgress::setMaximum(int maximum)
{
    CheckProgressMaximum(maximum);
    // What is kept for the bar goes to it first, so that this maximum
    // clamps the position as it would have (a stage sets its maximum once).
    if (position_ || maximum_) {
        apply();
    }
    maximum_ = maximum;
    kept_ = true;
    if (depth_ == 0) {
        apply();
    }
}

void HeldProgress::setPosition(int position)
{
    position_ = position;
    kept_ = true;
    if (depth_ == 0) {
        apply();
    }
}

void HeldProgress::hold()
{
    if (depth_++ == 0 && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->installEventFilter(this);
    }
}

void HeldProgress::release()
{
    if (depth_ == 0) {
        return;
    }
    if (--depth_ == 0 && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
    apply();
}

void HeldProgress::apply()
{
    if (!kept_) {
        return;
    }
    kept_ = false;
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        if (texts_[i] && labels_[i]) {
            labels_[i]->setText(ShownPathText(*texts_[i]));
        }
        texts_[i].reset();
    }
    // The maximum first: a position kept after it is clamped to it, one
    // kept before it was clamped by it, either way as the bar would have.
    if (maximum_ && bar_) {
        SetProgressMaximum(*bar_, *maximum_);
    }
    if (position_ && bar_) {
        SetProgressPosition(*bar_, *position_);
    }
    maximum_.reset();
    position_.reset();
}

void HeldProgress::discard()
{
    kept_ = false;
    for (auto &text : texts_) {
        text.reset();
    }
    maximum_.reset();
    position_.reset();
}

bool HeldProgress::eventFilter(QObject *watched, QEvent *event)
{
    if (messages_ == 0) {
        return false;
    }
    switch (event->type()) {
    case QEvent::MetaCall:
        // A scroll area calls itself back after every change of its range
        // (a table growing by a row) to show or hide its scroll bars.
        if (qobject_cast<QAbstractScrollArea *>(watched) == nullptr) {
            apply();
        }
        break;
    // What the widgets post to themselves when they take new values runs
    // no handler; applying again for it would apply at every pump.
    case QEvent::LayoutRequest:
    case QEvent::UpdateRequest:
    case QEvent::UpdateLater:
    case QEvent::Paint:
    case QEvent::PolishRequest:
        break;
    default:
        apply();
        break;
    }
    return false;
}

} // namespace quillmere
