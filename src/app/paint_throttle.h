#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <vector>

namespace quillmere {

// Lets some widgets paint at most about sixty times a second while a long
// task on the window's thread changes them for every item it handles and
// lets messages run after each. Their state (texts, positions, rows) still
// changes at once, so whatever reads them reads the latest; only painting
// waits: while held, a widget's updates are off except during the messages
// of a pump at least one interval after the last pump that could paint.
// Holds nest (a search started inside another's pump); the widgets paint
// freely again once the outermost hold is released.
class PaintThrottle {
public:
    static constexpr int kIntervalMs = 16;

    explicit PaintThrottle(std::vector<QWidget *> widgets);

    void hold();
    void release();
    bool holding() const { return depth_ > 0; }

    // Around one run of pending messages while held: before, the widgets
    // may paint when an interval has passed since they last could (or a
    // paint was asked for); after, they are held again. Returns whether
    // these messages paint.
    bool beforeMessages();
    void afterMessages();
    // The next messages paint whatever the time: a new stage's first state.
    void paintAtNextMessages() { paintNext_ = true; }

private:
    void setPainting(bool on);

    std::vector<QPointer<QWidget>> widgets_;
    QElapsedTimer sincePaint_;
    int depth_ = 0;
    bool painting_ = true;
    bool paintNext_ = false;
};

} // namespace quillmere
