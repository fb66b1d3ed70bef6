#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <optional>

class QLabel;
class QProgressBar;

namespace quillmere {

// The found page's labels and progress bar as a search sets them for every
// file. While held, a set only keeps the value: the widgets take the latest
// values when apply() is called (when the window is about to paint them, at
// the end of the search) and before any event is handled in a run of
// pending messages (see messagesBegin) while held, so a handler run at one
// of the search's pumps (Stop, Back, a timer) reads
// exactly what the search last set, as if every set had gone to the widget.
// Not held, a set goes to the widget at once. Holds nest (a search started
// inside another's pump); each release applies what is kept.
class HeldProgress : public QObject {
public:
    HeldProgress(QLabel *label1, QLabel *label3, QLabel *label4, QProgressBar *bar);
    ~HeldProgress() override;

    // which: 0 for Label1, 1 for Label3, 2 for Label4.
    void setLabel(int which, const QString &text);
    // Raises as the bar itself does for a maximum below 0, at once.
    void setMaximum(int maximum);
    void setPosition(int position);

    void hold();
    void release();
    bool holding() const { return depth_ > 0; }

    // Around a run of pending messages: the handlers it runs read the
    // latest values (events sent outside it run no handler of the user's).
    void messagesBegin() { ++messages_; }
    void messagesEnd() { --messages_; }

    // The widgets take the values kept.
    void apply();
    // The values kept are dropped: what a handler writes to the widgets
    // directly (Start clearing them) stands.
    void discard();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::array<QPointer<QLabel>, 3> labels_;
    QPointer<QProgressBar> bar_;
    std::array<std::optional<QString>, 3> texts_;
    std::optional<int> maximum_;
    std::optional<int> position_;
    bool kept_ = false;
    int depth_ = 0;
    int messages_ = 0;
};

} // namespace quillmere
