#pragma once

#include <QDialog>

class QFileSystemModel;
class QGroupBox;
class QPushButton;
class QTreeView;

namespace quillmere {

class TFolderEdit;

// A second way to choose the start folder: a tree of folders and "OK", which
// writes the selected folder into the folder edit and closes the window.
class TForm3 : public QDialog {
    Q_OBJECT
public:
    TForm3(TFolderEdit *target, QWidget *parent = nullptr);

    QGroupBox *GroupBox1;
    QTreeView *ShellTreeView1;
    QPushButton *BitBtn1;

    void BitBtn1Click();
    // The path of the selected folder; empty when none is selected.
    QString selectedPath() const;
    // Selects the folder in the tree.
    void selectFolder(const QString &path);

private:
    TFolderEdit *target_;
    QFileSystemModel *folders_;
};

} // namespace quillmere
