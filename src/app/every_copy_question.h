#pragma once

#include "removal/removal_pass.h"

class QMessageBox;
class QWidget;

namespace quillmere {

// The question asked before a removal that would leave some sets of
// identical files without any copy: how many sets, whether it can be undone,
// a button that removes them all anyway (Alt+R) and Cancel, which is what
// Return and Escape choose.
QMessageBox *MakeEveryCopyQuestion(QWidget *parent, int sets, RemovalMethod method);

// Asks it modally; true when the user chose to remove every copy.
bool AskToRemoveEveryCopy(QWidget *parent, int sets, RemovalMethod method);

} // namespace quillmere
