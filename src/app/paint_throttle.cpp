#include "app/paint_throttle.h"

namespace quillmere {

PaintThrottle::PaintThrottle(std::vector<QWidget *> widgets)
{
    for (QWidget *widget : widgets) {
        widgets_.emplace_back(widget);
    }
}

void PaintThrottle::setPainting(bool on)
{
    if (painting_ == on) {
        return;
    }
    painting_ = on;
    // Turning updates back on repaints each widget whole at the next
    // messages, so nothing changed while held is missed.
    for (const QPointer<QWidget> &widget : widgets_) {
        if (widget) {
            widget->setUpdatesEnabled(on);
        }
    }
}

void PaintThrottle::hold()
{
    if (depth_++ == 0) {
        sincePaint_.start();
        // A search's first state shows at its first pump.
        paintNext_ = true;
    }
    setPainting(false);
}

void PaintThrottle::release()
{
    if (depth_ > 0 && --depth_ == 0) {
        setPainting(true);
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
        setPainting(true);
        return true;
    }
    return false;
}

void PaintThrottle::afterMessages()
{
    if (depth_ > 0) {
        setPainting(false);
    }
}

} // namespace quillmere
