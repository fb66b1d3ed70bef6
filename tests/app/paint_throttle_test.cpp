#include "app/paint_throttle.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace quillmere;

namespace {

// Counts a widget's paints and notes the text it last painted.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QLabel *label)
        : label_(label)
    {
        label->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            painted = label_->text();
        }
        return false;
    }
    int paints = 0;
    QString painted;

private:
    QLabel *label_;
};

TEST(PaintThrottle, aLabelChangedAtEveryPumpPaintsAtMostOnceAFrameAndEndsShowingItsLastText)
{
    QWidget window;
    auto *label = new QLabel(QStringLiteral("start"), &window);
    auto *other = new QLabel(QStringLiteral("still"), &window);
    // Texts of any length keep the layout as it is.
    label->setFixedSize(200, 30);
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(label);
    layout->addWidget(other);
    PaintWatch watch(label);
    PaintWatch stillWatch(other);
    window.show();
    for (QElapsedTimer shown; shown.start(), watch.paints == 0 || stillWatch.paints == 0;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    watch.paints = stillWatch.paints = 0;
    PaintThrottle throttle(&window);

    throttle.hold();
    QElapsedTimer clock;
    clock.start();
    int pumps = 0;
    while (clock.elapsed() < 120) {
        label->setText(QString::number(pumps));
        // A synchronous repaint, as a progress bar asks for, waits as well.
        label->repaint();
        throttle.beforeMessages();
        QCoreApplication::processEvents();
        throttle.afterMessages();
        ++pumps;
    }
    const qint64 elapsed = clock.elapsed();
    const int paintsWhileHeld = watch.paints;
    throttle.release();
    QCoreApplication::processEvents();

    ASSERT_GT(pumps, 50);
    // The first pump paints, then at most one in every interval.
    EXPECT_GE(paintsWhileHeld, 2);
    EXPECT_LE(paintsWhileHeld, elapsed / PaintThrottle::kIntervalMs + 2) << pumps << " pumps";
    EXPECT_EQ(watch.painted, label->text());
    // Only what changed is painted: the label beside it is left alone.
    EXPECT_EQ(stillWatch.paints, 0);
}

} // namespace
