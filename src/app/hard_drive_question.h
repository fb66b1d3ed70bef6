#pragma once

class QMessageBox;
class QWidget;

namespace quillmere {

// The question asked once before deleting marked files from the hard drive:
// how many, and that it cannot be undone, with a button that deletes them
// (Alt+D) and Cancel, which is what Return and Escape choose.
QMessageBox *MakeHardDriveQuestion(QWidget *parent, int files);

// Asks it modally; true when the user chose to delete.
bool AskToDeleteFromHardDrive(QWidget *parent, int files);

} // namespace quillmere
