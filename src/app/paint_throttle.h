#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace quillmere {

// Lets a window paint at most about sixty times a second while a long task
// on its thread changes its widgets for every item it handles and lets
// messages run after each. The widgets' state (texts, positions, rows)
// still changes at once, so whatever reads them reads the latest; only the
// window's requests to paint what changed wait: while held, they are kept
// back except during the messages of a pump at least one interval after
// the last pump that could paint, and the one kept back is made then. Only
// the parts that changed are painted, as without the hold. Holds nest (a
// search started inside another's pump); the window paints freely again
// once the outermost hold is released.
class PaintThrottle : public QObject {
public:
    static constexpr int kIntervalMs = 16;

    explicit PaintThrottle(QWidget *window);

    void hold();
    void release();
    bool holding() const { return depth_ > 0; }

    // Around one run of pending messages while held: before, the window
    // may paint when an interval has passed since it last could (or a paint
    // was asked for); after, it is held again. Returns whether these
    // messages paint.
    bool beforeMessages();
    void afterMessages();
    // The next messages paint whatever the time: a new stage's first state.
    void paintAtNextMessages() { paintNext_ = true; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void open();

    QPointer<QWidget> window_;
    QElapsedTimer sincePaint_;
    int depth_ = 0;
    bool open_ = true;
    bool paintNext_ = false;
    bool owed_ = false; // a request to paint was kept back
};

} // namespace quillmere
