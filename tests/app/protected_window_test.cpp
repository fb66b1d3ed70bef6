#include "app/page_group.h"
#include "app/protected_folders_box.h"
#include "platform/path_text.h"
#include "window_fixture.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace quillmere;
using test::TempTree;

namespace {

// Two sets with a copy in the protected folder "archive" and one without.
class ProtectedWindow : public test::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        tree.makeFolder("archive");
        a = tree.writeFile("archive/a.jpg", std::string(300, 'a'));
        a2 = tree.writeFile("a2.jpg", std::string(300, 'a'));
        a3 = tree.writeFile("a3.jpg", std::string(300, 'a'));
        b = tree.writeFile("archive/b.jpg", std::string(400, 'b'));
        b2 = tree.writeFile("b2.jpg", std::string(400, 'b'));
    }
    int delColumn() { return form.DataGrid1->FindColumn(QStringLiteral("Del"))->Index(); }
    bool marked(const std::string &path)
    {
        return form.DataGrid1->CellAt(QStringLiteral("Del"), rowOf(path)).asBoolean();
    }
    bool anyProtectedMarked() { return marked(a) || marked(b); }
    void deleteToTrash()
    {
        form.PageControl1->setCurrentIndex(2);
        form.RadioButton1->setChecked(true);
        QTest::mouseClick(form.BitBtn6, Qt::LeftButton);
    }

    std::string a, a2, a3, b, b2;
};

} // namespace

TEST_F(ProtectedWindow, theOptionsPageListsProtectedFoldersClearOfEveryOtherControl)
{
    std::vector<QString> answers {QString::fromStdString(tree.path("archive")),
                                  QString::fromStdString(tree.path("archive")), QString(),
                                  QString::fromStdString(tree.root())};
    form.ProtectedFolders->Dialog = [&](QWidget *, const QString &title, const QString &) {
        EXPECT_EQ(title, QStringLiteral("Select folder"));
        QString answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    };
    for (int press = 0; press < 4; ++press) {
        QTest::mouseClick(form.ProtectedFolders->AddButton, Qt::LeftButton);
    }
    // A folder is listed once; a cancelled dialog adds nothing.
    EXPECT_EQ(form.ReadSearchOptions().protectedFolders, (std::vector<std::string> {tree.path("archive"), tree.root()}));
    EXPECT_FALSE(form.ProtectedFolders->RemoveButton->isEnabled());
    form.ProtectedFolders->List->setCurrentRow(0);
    QTest::mouseClick(form.ProtectedFolders->RemoveButton, Qt::LeftButton);
    EXPECT_EQ(form.ReadSearchOptions().protectedFolders, std::vector<std::string> {tree.root()});

    const QRect box = form.ProtectedFolders->geometry();
    EXPECT_LT(box.bottom(), form.Panel1->y());
    EXPECT_LT(box.right(), form.GroupBox3->width());
    for (QWidget *other : std::initializer_list<QWidget *> {form.Edit1, form.CheckBox1, form.ComboBox1, form.CheckBox2,
             form.IdenticalFilesButton, form.SimilarPicturesButton, form.SimilarityLevelLabel,
             form.SimilarityLevelBox, form.TurnsCheckBox, form.RememberPicturesCheckBox}) {
        EXPECT_FALSE(box.intersects(other->geometry())) << other->objectName().toStdString();
    }
}

TEST_F(ProtectedWindow, noMarkingActionMarksAProtectedFileAndSelectAllThenDeleteLeavesThem)
{
    form.ProtectedFolders->addFolder(tree.path("archive"));
    search("*.jpg");
    ASSERT_EQ(form.DataGrid1->RowCount(), 5);
    EXPECT_TRUE(form.rowProtected(rowOf(a)) && form.rowProtected(rowOf(b)));
    EXPECT_FALSE(form.rowProtected(rowOf(a2)) || form.rowProtected(rowOf(b2)));

    // Neither a click on the box nor the space bar marks it.
    clickCell(delColumn(), rowOf(a));
    EXPECT_FALSE(marked(a));
    QTest::keyClick(form.DataGrid1View, Qt::Key_Space);
    EXPECT_FALSE(marked(a));
    clickCell(delColumn(), rowOf(a2));
    EXPECT_TRUE(marked(a2));

    form.BitBtn_1Click();
    EXPECT_FALSE(anyProtectedMarked());
    form.KeepOneClick();
    EXPECT_FALSE(anyProtectedMarked());
    form.AskForFolder = [this](QWidget *, const QString &, const QString &) {
        return QString::fromStdString(tree.path("archive"));
    };
    for (QAction *rule : form.KeepRulesMenu->actions()) {
        form.BitBtn_2Click();
        rule->trigger();
        EXPECT_FALSE(anyProtectedMarked()) << rule->text().toStdString();
    }
    // The copies inside the folder kept: every other copy marked.
    EXPECT_TRUE(marked(a2) && marked(a3) && marked(b2));
    form.BitBtn_3Click();
    form.DataGrid1->SelectCell(1, rowOf(a));
    form.MarkFolderItem->trigger();
    EXPECT_FALSE(anyProtectedMarked());

    // Select All and Delete: every unprotected copy goes to the trash with
    // no question, since the protected ones stay; they are not touched.
    form.BitBtn_2Click();
    EXPECT_TRUE(marked(a2) && marked(a3) && marked(b2));
    EXPECT_FALSE(anyProtectedMarked());
    deleteToTrash();
    EXPECT_TRUE(askedSets.empty());
    EXPECT_EQ(form.currentPage(), 3);
    EXPECT_EQ(TempTree::readFile(a), std::string(300, 'a'));
    EXPECT_EQ(TempTree::readFile(b), std::string(400, 'b'));
    EXPECT_FALSE(TempTree::exists(a2) || TempTree::exists(a3) || TempTree::exists(b2));
}

TEST_F(ProtectedWindow, aFolderAddedAfterTheSearchLocksItsRowsAndTheRemovalRefusesThem)
{
    search("*.jpg");
    ASSERT_EQ(form.DataGrid1->RowCount(), 5);
    form.BitBtn_2Click();
    form.ProtectedFolders->addFolder(tree.path("archive"));
    EXPECT_TRUE(form.rowProtected(rowOf(a)));
    EXPECT_FALSE(anyProtectedMarked());

    // A mark written past every marking action still removes nothing there.
    form.DataGrid1->CellAt(QStringLiteral("Del"), rowOf(a)).setBoolean(true);
    deleteToTrash();
    EXPECT_TRUE(TempTree::exists(a));
    EXPECT_TRUE(form.Memo3->toPlainText().contains(ShownPath(a) + QStringLiteral(" \u2014 kept: it is inside a protected folder")));
    EXPECT_FALSE(TempTree::exists(a2) || TempTree::exists(a3));
}

TEST_F(ProtectedWindow, theKeepMenuAndTheFolderItemSitBesideTheDesignedOnes)
{
    const QList<QAction *> items = form.PopupMenu1->actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0]->text(), QStringLiteral("Open contain folder"));
    EXPECT_EQ(items[3], form.MarkFolderItem);
    ASSERT_EQ(form.KeepRulesMenu->actions().size(), static_cast<qsizetype>(KeepRules().size()));
    EXPECT_EQ(form.KeepRuleButton->menu(), form.KeepRulesMenu);
    for (const int width : {769, 1200, 500}) {
        form.resize(width, 530);
        QCoreApplication::processEvents();
        const QRect keep = form.KeepRuleButton->geometry();
        for (QPushButton *other : {form.BitBtn5, form.BitBtn4, form.BitBtn2, form.BitBtn_1, form.BitBtn_2,
                                   form.BitBtn_3, form.KeepOneButton}) {
            EXPECT_FALSE(keep.intersects(other->geometry())) << width << " " << other->text().toStdString();
        }
    }
}
