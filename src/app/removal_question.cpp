#include "app/removal_question.h"

#include <QMessageBox>
#include <QPushButton>

namespace quillmere {

namespace {
constexpr char kGoAheadName[] = "goAhead";
} // namespace

QMessageBox *MakeRemovalQuestion(QWidget *parent, const QString &text, const QString &informative,
                                 const QString &goAhead, Qt::Key altKey)
{
    auto *box = new QMessageBox(parent);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QStringLiteral("Quillmere"));
    box->setText(text);
    box->setInformativeText(informative);
    QPushButton *ahead = box->addButton(goAhead, QMessageBox::DestructiveRole);
    ahead->setObjectName(QString::fromLatin1(kGoAheadName));
    // Some desktop themes turn underlined mnemonics off; the Alt key works anyway.
    ahead->setShortcut(QKeySequence(Qt::ALT | altKey));
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    return box;
}

bool AskRemovalQuestion(QMessageBox *box)
{
    box->exec();
    const bool ahead = box->clickedButton() != nullptr
        && box->clickedButton()->objectName() == QString::fromLatin1(kGoAheadName);
    delete box;
    return ahead;
}

} // namespace quillmere
