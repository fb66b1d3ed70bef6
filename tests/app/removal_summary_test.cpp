#include "app/page_group.h"
#include "window_fixture.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <sys/stat.h>

using namespace quillmere;
using test::TempTree;

namespace {

class RemovalSummary : public test::WindowFixture {
protected:
    void mark(const std::vector<std::string> &paths)
    {
        form.BitBtn_3Click();
        for (const std::string &path : paths) {
            form.DataGrid1->CellAt(QStringLiteral("Del"), rowOf(path)).setBoolean(true);
        }
    }
    QString choose(QRadioButton *method)
    {
        form.PageControl1->setCurrentIndex(2);
        method->setChecked(true);
        return form.RemovalSummaryLabel->text();
    }
    QString lastReportLine() const { return form.Memo3->toPlainText().split(QLatin1Char('\n')).last(); }
    static ino_t inodeOf(const std::string &path)
    {
        struct stat info {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
        return info.st_ino;
    }
};

TEST_F(RemovalSummary, thePageTellsCountBytesAndLostSetsAndLinksReplaceTheMarkedCopies)
{
    const std::string a1 = tree.writeFile("a1.jpg", std::string(300, 'a'));
    const std::string a2 = tree.writeFile("a2.jpg", std::string(300, 'a'));
    const std::string b1 = tree.writeFile("b1.jpg", std::string(2048, 'b'));
    const std::string b2 = tree.writeFile("b2.jpg", std::string(2048, 'b'));
    const std::string b3 = tree.writeFile("b3.jpg", std::string(2048, 'b'));
    search("*.jpg");
    ASSERT_EQ(form.DataGrid1->RowCount(), 5);
    EXPECT_EQ(choose(form.RadioButton2), QStringLiteral("0 files are marked; removing them frees 0 B."));
    mark({a1, a2, b2, b3});
    EXPECT_EQ(choose(form.RadioButton1),
              QStringLiteral("4 files are marked; removing them frees 4.59 KB.\n1 set would lose every copy."));
    EXPECT_EQ(choose(form.HardLinksButton),
              QStringLiteral("4 files are marked; replacing them by links frees 4.00 KB.\n"
                             "1 set has every copy marked: no copy stays to link to, so its files stay."));
    // Below the designed methods, clear of them and of the buttons.
    QCoreApplication::processEvents();
    const std::vector<QWidget *> controls {form.RadioButton1, form.RadioButton2, form.HardLinksButton,
                                           form.RemovalSummaryLabel};
    for (std::size_t a = 0; a < controls.size(); ++a) {
        EXPECT_LT(controls[a]->geometry().bottom(), form.Panel3->y()) << a;
        for (std::size_t b = a + 1; b < controls.size(); ++b) {
            EXPECT_FALSE(controls[a]->geometry().intersects(controls[b]->geometry())) << a << " and " << b;
        }
    }

    // A link loses no content: nothing is asked.
    QTest::mouseClick(form.BitBtn6, Qt::LeftButton);
    EXPECT_TRUE(askedSets.empty() && askedHardDrive.empty());
    EXPECT_EQ(form.currentPage(), 3);
    EXPECT_EQ(lastReportLine(), QStringLiteral("Space freed: 4.00 KB"));
    EXPECT_EQ(std::make_pair(inodeOf(b2), inodeOf(b3)), std::make_pair(inodeOf(b1), inodeOf(b1)));
    EXPECT_NE(inodeOf(a1), inodeOf(a2));
}

TEST_F(RemovalSummary, deletingFromTheHardDriveIsAskedOnceUnlessTheLastCopyQuestionWasAsked)
{
    const std::string a1 = tree.writeFile("a1.jpg", std::string(300, 'a'));
    const std::string a2 = tree.writeFile("a2.jpg", std::string(300, 'a'));
    const std::string b1 = tree.writeFile("b1.jpg", std::string(400, 'b'));
    const std::string b2 = tree.writeFile("b2.jpg", std::string(400, 'b'));
    search("*.jpg");
    ASSERT_EQ(form.DataGrid1->RowCount(), 4);
    mark({a1});
    form.Memo3->setPlainText(QStringLiteral("earlier report"));

    deleteFromHardDrive = false; // Cancel: nothing touched, still on the removal page
    choose(form.RadioButton2);
    QTest::mouseClick(form.BitBtn6, Qt::LeftButton);
    EXPECT_EQ(askedHardDrive, std::vector<int> {1});
    EXPECT_EQ(form.currentPage(), 2);
    EXPECT_EQ(form.Memo3->toPlainText(), QStringLiteral("earlier report"));
    EXPECT_TRUE(TempTree::exists(a1));

    deleteFromHardDrive = true;
    QTest::mouseClick(form.BitBtn6, Qt::LeftButton);
    EXPECT_EQ(askedHardDrive, (std::vector<int> {1, 1}));
    EXPECT_FALSE(TempTree::exists(a1));
    EXPECT_EQ(lastReportLine(), QStringLiteral("Space freed: 300 B"));

    // Every copy of a set marked: only the question about the last copies.
    mark({b1, b2});
    removeEveryCopy = true;
    choose(form.RadioButton2);
    QTest::mouseClick(form.BitBtn6, Qt::LeftButton);
    EXPECT_EQ(askedSets, std::vector<int> {1});
    EXPECT_EQ(askedHardDrive.size(), 2u);
    EXPECT_FALSE(TempTree::exists(b1) || TempTree::exists(b2));
    EXPECT_TRUE(TempTree::exists(a2));
}

} // namespace
