#include "app/hard_drive_question.h"

#include <QMessageBox>
#include <QPushButton>

namespace quillmere {

QMessageBox *MakeHardDriveQuestion(QWidget *parent, int files)
{
    auto *box = new QMessageBox(parent);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QStringLiteral("Quillmere"));
    box->setText(files == 1 ? QStringLiteral("Delete 1 marked file from the hard drive?")
                            : QStringLiteral("Delete %1 marked files from the hard drive?").arg(files));
    box->setInformativeText(QStringLiteral("Each is overwritten three times and deleted. This cannot be undone."));
    QPushButton *remove = box->addButton(QStringLiteral("&Delete"), QMessageBox::DestructiveRole);
    remove->setObjectName(QStringLiteral("deleteFromHardDrive"));
    // Some desktop themes turn underlined mnemonics off; Alt+D works anyway.
    remove->setShortcut(QKeySequence(Qt::ALT | Qt::Key_D));
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    return box;
}

bool AskToDeleteFromHardDrive(QWidget *parent, int files)
{
    QMessageBox *box = MakeHardDriveQuestion(parent, files);
    box->exec();
    const bool remove = box->clickedButton() != nullptr
        && box->clickedButton()->objectName() == QStringLiteral("deleteFromHardDrive");
    delete box;
    return remove;
}

} // namespace quillmere
