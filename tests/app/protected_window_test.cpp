#include "app/protected_folders_box.h"
#include "platform/path_text.h"
#include "window_fixture.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace quillmere;
using test::TempTree;

namespace {

// Two sets, each with a copy in the folder "archive".
class ProtectedWindow : public test::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        tree.makeFolder("archive");
        a = tree.writeFile("archive/a.jpg", std::string(300, 'a'));
        a2 = tree.writeFile("a2.jpg", std::string(300, 'a'));
        b = tree.writeFile("archive/b.jpg", std::string(400, 'b'));
        b2 = tree.writeFile("b2.jpg", std::string(400, 'b'));
    }
    bool marked(const std::string &path) { return form.DataGrid1->CellAt(QStringLiteral("Del"), rowOf(path)).asBoolean(); }
    bool anyProtectedMarked() { return marked(a) || marked(b); }
    void deleteToTrash()
    {
        form.PageControl1->setCurrentIndex(2);
        form.RadioButton1->setChecked(true);
        QTest::mouseClick(form.BitBtn6, Qt::LeftButton);
    }

    std::string a, a2, b, b2;
};

} // namespace

TEST_F(ProtectedWindow, noMarkingActionMarksAProtectedFileAndSelectAllThenDeleteLeavesThem)
{
    form.ProtectedFolders->addFolder(tree.path("archive"));
    search("*.jpg");
    ASSERT_EQ(form.DataGrid1->RowCount(), 4);
    EXPECT_TRUE(form.rowProtected(rowOf(a)) && !form.rowProtected(rowOf(a2)));

    // Neither a click on the box nor the space bar marks it.
    const int del = form.DataGrid1->FindColumn(QStringLiteral("Del"))->Index();
    clickCell(del, rowOf(a));
    QTest::keyClick(form.DataGrid1View, Qt::Key_Space);
    clickCell(del, rowOf(b));
    EXPECT_FALSE(anyProtectedMarked());
    form.BitBtn_1Click();
    form.KeepOneClick();
    EXPECT_FALSE(anyProtectedMarked());
    form.AskForFolder = [this](QWidget *, const QString &, const QString &) {
        return QString::fromStdString(tree.path("archive"));
    };
    for (QAction *rule : form.KeepRulesMenu->actions()) {
        rule->trigger();
        EXPECT_FALSE(anyProtectedMarked()) << rule->text().toStdString();
    }
    EXPECT_TRUE(marked(a2) && marked(b2)); // the copies inside the folder kept
    form.BitBtn_3Click();
    form.DataGrid1->SelectCell(1, rowOf(a));
    form.PopupMenu1->actions().back()->trigger();
    EXPECT_FALSE(anyProtectedMarked());

    // Select All and Delete: the protected copies stay, so the others go to
    // the trash with no question.
    form.BitBtn_2Click();
    EXPECT_TRUE(marked(a2) && marked(b2) && !anyProtectedMarked());
    deleteToTrash();
    EXPECT_TRUE(askedSets.empty());
    EXPECT_EQ(TempTree::readFile(a), std::string(300, 'a'));
    EXPECT_EQ(TempTree::readFile(b), std::string(400, 'b'));
    EXPECT_FALSE(TempTree::exists(a2) || TempTree::exists(b2));
}

TEST_F(ProtectedWindow, aFolderAddedAfterTheSearchUnmarksItsRowsAndTheRemovalRefusesThem)
{
    search("*.jpg");
    form.BitBtn_2Click();
    std::vector<QString> answers {QString::fromStdString(tree.path("archive")), QString()};
    form.ProtectedFolders->Dialog = [&](QWidget *, const QString &, const QString &) {
        const QString answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    };
    QTest::mouseClick(form.ProtectedFolders->AddButton, Qt::LeftButton);
    QTest::mouseClick(form.ProtectedFolders->AddButton, Qt::LeftButton); // cancelled
    EXPECT_EQ(form.ReadSearchOptions().protectedFolders, std::vector<std::string> {tree.path("archive")});
    EXPECT_TRUE(form.rowProtected(rowOf(a)));
    EXPECT_FALSE(anyProtectedMarked());

    // A mark written past every marking action still removes nothing there.
    form.DataGrid1->CellAt(QStringLiteral("Del"), rowOf(a)).setBoolean(true);
    deleteToTrash();
    EXPECT_TRUE(TempTree::exists(a));
    EXPECT_TRUE(form.Memo3->toPlainText().contains(ShownPath(a) + QStringLiteral(" \u2014 kept: it is inside a protected folder")));

    form.ProtectedFolders->List->setCurrentRow(0);
    QTest::mouseClick(form.ProtectedFolders->RemoveButton, Qt::LeftButton);
    EXPECT_TRUE(form.ReadSearchOptions().protectedFolders.empty());
}
