#include "folders/folder_edit.h"

#include "common/error_report.h"
#include "platform/path_text.h"

#include <QFileDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <sys/stat.h>

namespace quillmere {

QString platformFolderDialog(QWidget *parent, const QString &title, const QString &preselect)
{
    return QFileDialog::getExistingDirectory(parent, title, preselect,
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

TFolderEdit::TFolderEdit(QWidget *parent)
    : QLineEdit(parent)
    , button_(new QPushButton(QStringLiteral("Browse"), this))
{
    // A press leaves the focus in the edit; Tab reaches the button right
    // after the edit, as it reaches every button of a dialog.
    button_->setFocusPolicy(Qt::TabFocus);
    button_->setCursor(Qt::ArrowCursor);
    button_->installEventFilter(this);
    connect(button_, &QPushButton::clicked, this, [this] { runReportingErrors([this] { Browse(); }); });
    placeButton();
}

QString TFolderEdit::ButtonCaption() const
{
    return button_->text();
}

void TFolderEdit::setButtonCaption(const QString &caption)
{
    button_->setText(caption);
}

void TFolderEdit::setButtonWidth(int width)
{
    buttonWidth_ = width;
    placeButton();
}

void TFolderEdit::placeButton()
{
    button_->setGeometry(width() - buttonWidth_, 0, buttonWidth_, height());
    setTextMargins(0, 0, buttonWidth_, 0);
}

void TFolderEdit::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    placeButton();
}

bool TFolderEdit::eventFilter(QObject *watched, QEvent *event)
{
    // The button has no menu of its own, and the edit's Undo/Cut/Copy/Paste
    // menu does not belong to it either.
    if (watched == button_ && event->type() == QEvent::ContextMenu) {
        return true;
    }
    if (watched == button_ && event->type() == QEvent::MouseButtonPress) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton) {
            return true; // only the left button browses
        }
        setFocus(Qt::MouseFocusReason);
    }
    return QLineEdit::eventFilter(watched, event);
}

void TFolderEdit::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & Qt::ControlModifier)) {
        runReportingErrors([this] { Browse(); });
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TFolderEdit::Browse()
{
    if (OnButtonClick) {
        OnButtonClick();
    }
    QString preselect;
    struct stat st {};
    const std::string folder = textToPath(text());
    if (!folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        preselect = text();
    }
    const QString chosen = Dialog(window(), DialogCaption, preselect);
    if (!chosen.isEmpty()) {
        setText(chosen);
    }
}

} // namespace quillmere
