#include "app/protected_folders_box.h"

#include "platform/path_text.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace quillmere {

namespace {
constexpr int kPathRole = Qt::UserRole;
}

ProtectedFoldersBox::ProtectedFoldersBox(QWidget *parent)
    : QWidget(parent)
    , Caption(new QLabel(QStringLiteral("Never remove from:"), this))
    , List(new QListWidget(this))
    , AddButton(new QPushButton(QStringLiteral("Add..."), this))
    , RemoveButton(new QPushButton(QStringLiteral("Remove"), this))
{
    setObjectName(QStringLiteral("ProtectedFoldersBox"));
    const QString tip = QStringLiteral(
        "Files inside these folders (and the folders below them) are never removed: they still show among the "
        "copies, with a lock instead of the Delete box, no marking marks them, and they count as the copy kept.");
    setToolTip(tip);
    Caption->setGeometry(0, 0, 200, 17);
    List->setGeometry(0, 18, 350, 62);
    List->setSelectionMode(QAbstractItemView::ExtendedSelection);
    AddButton->setGeometry(358, 18, 75, 25);
    RemoveButton->setGeometry(358, 48, 75, 25);
    RemoveButton->setEnabled(false);
    connect(AddButton, &QPushButton::clicked, this, &ProtectedFoldersBox::addChosenFolder);
    connect(RemoveButton, &QPushButton::clicked, this, &ProtectedFoldersBox::removeSelectedFolders);
    connect(List, &QListWidget::itemSelectionChanged, this,
            [this] { RemoveButton->setEnabled(!List->selectedItems().isEmpty()); });
}

std::vector<std::string> ProtectedFoldersBox::folders() const
{
    std::vector<std::string> out;
    for (int i = 0; i < List->count(); ++i) {
        out.push_back(List->item(i)->data(kPathRole).toByteArray().toStdString());
    }
    return out;
}

void ProtectedFoldersBox::addFolder(const std::string &folder)
{
    if (folder.empty()) {
        return;
    }
    for (const std::string &listed : folders()) {
        if (listed == folder) {
            return;
        }
    }
    auto *item = new QListWidgetItem(ShownPath(folder), List);
    item->setData(kPathRole, QByteArray::fromStdString(folder));
    item->setToolTip(ShownPath(folder));
    emit changed();
}

void ProtectedFoldersBox::addChosenFolder()
{
    const QString chosen = Dialog(window(), QStringLiteral("Select folder"), QString());
    if (!chosen.isEmpty()) {
        addFolder(textToPath(chosen));
    }
}

void ProtectedFoldersBox::removeSelectedFolders()
{
    const QList<QListWidgetItem *> selected = List->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    qDeleteAll(selected);
    emit changed();
}

} // namespace quillmere
