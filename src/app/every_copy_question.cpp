#include "app/every_copy_question.h"

#include <QMessageBox>
#include <QPushButton>

namespace quillmere {

QMessageBox *MakeEveryCopyQuestion(QWidget *parent, int sets, RemovalMethod method)
{
    auto *box = new QMessageBox(parent);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QStringLiteral("Quillmere"));
    box->setText(sets == 1 ? QStringLiteral("Every copy of 1 set of identical files is marked. Removing them "
                                            "leaves no copy of that content.")
                           : QStringLiteral("Every copy of %1 sets of identical files is marked. Removing them "
                                            "leaves no copy of their content.")
                                 .arg(sets));
    box->setInformativeText(method == RemovalMethod::HardDrive
                                ? QStringLiteral("Deleting from the hard drive cannot be undone.")
                                : QStringLiteral("They can still be restored from the trash."));
    QPushButton *removeAll = box->addButton(QStringLiteral("&Remove All Copies"), QMessageBox::DestructiveRole);
    removeAll->setObjectName(QStringLiteral("removeAllCopies"));
    // Some desktop themes turn underlined mnemonics off; Alt+R works anyway.
    removeAll->setShortcut(QKeySequence(Qt::ALT | Qt::Key_R));
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    return box;
}

bool AskToRemoveEveryCopy(QWidget *parent, int sets, RemovalMethod method)
{
    QMessageBox *box = MakeEveryCopyQuestion(parent, sets, method);
    box->exec();
    const bool removeAll = box->clickedButton() != nullptr
        && box->clickedButton()->objectName() == QStringLiteral("removeAllCopies");
    delete box;
    return removeAll;
}

} // namespace quillmere
