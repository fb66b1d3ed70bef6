#include "app/hard_drive_question.h"

#include "app/removal_question.h"

namespace quillmere {

QMessageBox *MakeHardDriveQuestion(QWidget *parent, int files)
{
    return MakeRemovalQuestion(
        parent,
        files == 1 ? QStringLiteral("Delete 1 marked file from the hard drive?")
                   : QStringLiteral("Delete %1 marked files from the hard drive?").arg(files),
        QStringLiteral("Each is overwritten three times and deleted. This cannot be undone."),
        QStringLiteral("&Delete"), Qt::Key_D);
}

bool AskToDeleteFromHardDrive(QWidget *parent, int files)
{
    return AskRemovalQuestion(MakeHardDriveQuestion(parent, files));
}

} // namespace quillmere
