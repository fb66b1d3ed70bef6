#pragma once

#include <QLineEdit>
#include <functional>

class QPushButton;

namespace quillmere {

// The folder dialog: given the parent, the title and the folder to preselect
// (empty for none), returns the chosen folder or an empty text on cancel.
using FolderDialog = std::function<QString(QWidget *parent, const QString &title, const QString &preselect)>;

// Qt's own modal directory dialog.
QString platformFolderDialog(QWidget *parent, const QString &title, const QString &preselect);

// A one-line edit for a folder path with a "Browse" button along its right
// edge that opens the folder dialog and writes the chosen folder into it.
class TFolderEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TFolderEdit(QWidget *parent = nullptr);

    QString DialogCaption = QStringLiteral("Select folder");
    QString Root = QStringLiteral("\\");
    std::function<void()> OnButtonClick;
    FolderDialog Dialog = platformFolderDialog;

    QString ButtonCaption() const;
    void setButtonCaption(const QString &caption);
    int ButtonWidth() const { return buttonWidth_; }
    void setButtonWidth(int width);
    QPushButton *button() const { return button_; }

    // Opens the dialog, preselecting the edit's folder when it exists.
    void Browse();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void placeButton();

    QPushButton *button_;
    int buttonWidth_ = 70;
};

} // namespace quillmere
