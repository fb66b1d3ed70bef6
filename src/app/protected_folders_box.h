#pragma once

#include "folders/folder_edit.h"

#include <QWidget>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

namespace quillmere {

// "Never remove from": the folders whose files no removal touches, with Add
// (the folder dialog) and Remove buttons. Each folder is kept as the exact
// path bytes the dialog gave and shown as a person reads it.
class ProtectedFoldersBox : public QWidget {
    Q_OBJECT
public:
    explicit ProtectedFoldersBox(QWidget *parent = nullptr);

    // In the order they were added.
    std::vector<std::string> folders() const;
    // Adds a folder unless it is listed already.
    void addFolder(const std::string &folder);

    // Asks for the folder to add; tests replace it.
    FolderDialog Dialog = platformFolderDialog;

    QLabel *Caption;
    QListWidget *List;
    QPushButton *AddButton;
    QPushButton *RemoveButton;

signals:
    // The list gained or lost a folder.
    void changed();

private:
    void addChosenFolder();
    void removeSelectedFolders();
};

} // namespace quillmere
