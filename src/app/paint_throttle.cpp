#include "app/paint_throttle.h"

#include <QCoreApplication>
#include <QEvent>

namespace quillmere {

PaintThrottle::PaintThrottle(QWidget *window)
    : window_(window)
{
    window_->installEventFilter(this);
}

void PaintThrottle::hold()
{
    if (depth_++ == 0) {
        sincePaint_.start();
        // A search's first state shows at its first pump.
        paintNext_ = true;
    }
    open_ = false;
}

void PaintThrottle::release()
{
    if (depth_ > 0 && --depth_ == 0) {
        open();
    }
}

void PaintThrottle::open()
{
    open_ = true;
    // What changed while held is painted with the messages about to run.
    // Qt asks a window to paint once until it has painted, so the request
    // kept back is made anew.
    if (owed_ && window_) {
        owed_ = false;
        QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    }
}

bool PaintThrottle::beforeMessages()
{
    if (depth_ == 0) {
        return true;
    }
    if (paintNext_ || sincePaint_.elapsed() >= kIntervalMs) {
        paintNext_ = false;
        sincePaint_.start();
        open();
        return true;
    }
    return false;
}

void PaintThrottle::afterMessages()
{
    if (depth_ > 0) {
        open_ = false;
    }
}

bool PaintThrottle::eventFilter(QObject *watched, QEvent *event)
{
    // Posted for a later paint and sent for an immediate one (a widget's
    // repaint()); either way the window paints everything marked since.
    if (!open_ && watched == window_ && event->type() == QEvent::UpdateRequest) {
        owed_ = true;
        return true;
    }
    return false;
}

} // namespace quillmere
