#include "app/removal_folders_box.h"

#include <QMessageBox>
#include <QStringList>

namespace quillmere {

QMessageBox *MakeRemovalFoldersBox(QWidget *parent, const std::vector<LeftoverResult> &results)
{
    QStringList lines;
    for (const LeftoverResult &result : results) {
        lines << LeftoverLine(result);
    }
    auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("Quillmere"),
                                QStringLiteral("The search met files that an interrupted removal left behind:"),
                                QMessageBox::Ok, parent);
    box->setInformativeText(lines.join(QLatin1Char('\n')));
    return box;
}

void ShowRemovalFoldersBox(QWidget *parent, const std::vector<LeftoverResult> &results)
{
    QMessageBox *box = MakeRemovalFoldersBox(parent, results);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace quillmere
