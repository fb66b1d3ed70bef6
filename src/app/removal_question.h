#pragma once

#include <QString>
#include <Qt>

class QMessageBox;
class QWidget;

namespace quillmere {

// A warning before a removal: the question, what follows from it, one
// button that goes ahead (its caption underlines its Alt key, which works
// whatever the theme shows) and Cancel, which Return and Escape choose.
QMessageBox *MakeRemovalQuestion(QWidget *parent, const QString &text, const QString &informative,
                                 const QString &goAhead, Qt::Key altKey);

// Asks a question made by MakeRemovalQuestion modally and deletes it; true
// when the user chose to go ahead.
bool AskRemovalQuestion(QMessageBox *box);

} // namespace quillmere
