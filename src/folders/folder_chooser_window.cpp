#include "folders/folder_chooser_window.h"

#include "common/error_report.h"
#include "folders/folder_edit.h"

#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace quillmere {

TForm3::TForm3(TFolderEdit *target, QWidget *parent)
    : QDialog(parent)
    , target_(target)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Form3"));
    resize(405, 301);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    GroupBox1 = new QGroupBox(QStringLiteral("GroupBox1"), this);
    outer->addWidget(GroupBox1);

    folders_ = new QFileSystemModel(this);
    folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    folders_->setRootPath(QStringLiteral("/"));

    ShellTreeView1 = new QTreeView(GroupBox1);
    ShellTreeView1->setModel(folders_);
    ShellTreeView1->setRootIndex(folders_->index(QStringLiteral("/")));
    ShellTreeView1->setRootIsDecorated(false);
    ShellTreeView1->setHeaderHidden(true);
    for (int column = 1; column < folders_->columnCount(); ++column) {
        ShellTreeView1->hideColumn(column);
    }

    BitBtn1 = new QPushButton(QStringLiteral("OK"), GroupBox1);
    auto *inner = new QVBoxLayout(GroupBox1);
    inner->addWidget(ShellTreeView1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(BitBtn1);
    bottom->addStretch();
    inner->addLayout(bottom);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { runReportingErrors([this] { BitBtn1Click(); }); });
}

QString TForm3::selectedPath() const
{
    const QModelIndex current = ShellTreeView1->currentIndex();
    return current.isValid() ? folders_->filePath(current) : QString();
}

void TForm3::selectFolder(const QString &path)
{
    ShellTreeView1->setCurrentIndex(folders_->index(path));
}

void TForm3::BitBtn1Click()
{
    if (target_ != nullptr) {
        target_->setText(selectedPath());
    }
    close();
}

} // namespace quillmere
