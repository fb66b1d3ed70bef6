#include "app/every_copy_question.h"

#include "app/removal_question.h"

namespace quillmere {

QMessageBox *MakeEveryCopyQuestion(QWidget *parent, int sets, RemovalMethod method)
{
    return MakeRemovalQuestion(
        parent,
        sets == 1 ? QStringLiteral("Every copy of 1 set of identical files is marked. Removing them "
                                   "leaves no copy of that content.")
                  : QStringLiteral("Every copy of %1 sets of identical files is marked. Removing them "
                                   "leaves no copy of their content.")
                        .arg(sets),
        method == RemovalMethod::HardDrive ? QStringLiteral("Deleting from the hard drive cannot be undone.")
                                           : QStringLiteral("They can still be restored from the trash."),
        QStringLiteral("&Remove All Copies"), Qt::Key_R);
}

bool AskToRemoveEveryCopy(QWidget *parent, int sets, RemovalMethod method)
{
    return AskRemovalQuestion(MakeEveryCopyQuestion(parent, sets, method));
}

} // namespace quillmere
