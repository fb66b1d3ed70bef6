#include "app/hard_drive_question.h"
#include "app/page_group.h"
#include "removal/recording_removal_view.h"
#include "window_fixture.h"

#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <sys/stat.h>

using namespace quillmere;
using test::TempTree;

namespace {

class RemovalSummary : public test::WindowFixture {
protected:
    void mark(const std::string &path) { form.DataGrid1->CellAt(QStringLiteral("Del"), rowOf(path)).setBoolean(true); }
    void choose(QRadioButton *method)
    {
        form.PageControl1->setCurrentIndex(2);
        method->setChecked(true);
    }
    QString summary() const { return form.RemovalSummaryLabel->text(); }
    QStringList report() const { return form.Memo3->toPlainText().split(QLatin1Char('\n')); }
    static ino_t inodeOf(const std::string &path)
    {
        struct stat info {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
        return info.st_ino;
    }
};

TEST_F(RemovalSummary, thePageTellsCountBytesAndLostSetsForEachMethodAndLinksReplaceTheMarkedCopies)
{
    const std::string a1 = tree.writeFile("a1.jpg", std::string(300, 'a'));
    const std::string a2 = tree.writeFile("a2.jpg", std::string(300, 'a'));
    const std::string b1 = tree.writeFile("b1.jpg", std::string(2048, 'b'));
    const std::string b2 = tree.writeFile("b2.jpg", std::string(2048, 'b'));
    const std::string b3 = tree.writeFile("b3.jpg", std::string(2048, 'b'));
    search("*.jpg");
    ASSERT_EQ(form.DataGrid1->RowCount(), 5);
    for (const std::string &path : {a1, a2, b2, b3}) {
        mark(path);
    }

    choose(form.RadioButton1);
    EXPECT_EQ(summary(), QStringLiteral("4 files are marked; removing them frees 4.59 KB.\n"
                                        "1 set would lose every copy."));
    choose(form.HardLinksButton);
    EXPECT_EQ(summary(), QStringLiteral("4 files are marked; replacing them by links frees 4.00 KB.\n"
                                        "1 set has every copy marked: no copy stays to link to, so its files stay."));

    // A link loses no content: nothing is asked, the kept copy is what
    // every marked path of its set now leads to.
    QTest::mouseClick(form.BitBtn6, Qt::LeftButton);
    EXPECT_TRUE(askedSets.empty());
    EXPECT_TRUE(askedHardDrive.empty());
    EXPECT_EQ(form.currentPage(), 3);
    EXPECT_EQ(report().value(0), QStringLiteral("Next files replaced by links to the copy kept:"));
    EXPECT_EQ(report().value(1), QString::fromStdString(b2) + QStringLiteral(" \u2014 replaced by a link to ")
                                     + QString::fromStdString(b1));
    EXPECT_EQ(report().last(), QStringLiteral("Space freed: 4.00 KB"));
    EXPECT_EQ(inodeOf(b2), inodeOf(b1));
    EXPECT_EQ(inodeOf(b3), inodeOf(b1));
    EXPECT_NE(inodeOf(a1), inodeOf(a2));

    // With nothing marked the page says so.
    form.BitBtn_3Click();
    choose(form.RadioButton2);
    EXPECT_EQ(summary(), QStringLiteral("0 files are marked; removing them frees 0 B."));
}

TEST_F(RemovalSummary, deletingFromTheHardDriveIsAskedOnceUnlessTheLastCopyQuestionWasAsked)
{
    const std::string a1 = tree.writeFile("a1.jpg", std::string(300, 'a'));
    const std::string a2 = tree.writeFile("a2.jpg", std::string(300, 'a'));
    const std::string b1 = tree.writeFile("b1.jpg", std::string(400, 'b'));
    const std::string b2 = tree.writeFile("b2.jpg", std::string(400, 'b'));
    search("*.jpg");
    ASSERT_EQ(form.DataGrid1->RowCount(), 4);
    mark(a1);
    form.Memo3->setPlainText(QStringLiteral("earlier report"));

    // Cancelled: nothing touched, still on the removal page.
    deleteFromHardDrive = false;
    choose(form.RadioButton2);
    QTest::mouseClick(form.BitBtn6, Qt::LeftButton);
    EXPECT_EQ(askedHardDrive, std::vector<int> {1});
    EXPECT_EQ(form.currentPage(), 2);
    EXPECT_EQ(form.Memo3->toPlainText(), QStringLiteral("earlier report"));
    EXPECT_TRUE(TempTree::exists(a1));

    // Confirmed: the pass runs.
    deleteFromHardDrive = true;
    QTest::mouseClick(form.BitBtn6, Qt::LeftButton);
    EXPECT_EQ(askedHardDrive, (std::vector<int> {1, 1}));
    EXPECT_EQ(form.currentPage(), 3);
    EXPECT_FALSE(TempTree::exists(a1));
    EXPECT_EQ(report().last(), QStringLiteral("Space freed: 300 B"));

    // Every copy of a set marked: the question about the last copies is the
    // only one asked.
    form.BitBtn_3Click();
    mark(b1);
    mark(b2);
    removeEveryCopy = true;
    choose(form.RadioButton2);
    QTest::mouseClick(form.BitBtn6, Qt::LeftButton);
    EXPECT_EQ(askedSets, std::vector<int> {1});
    EXPECT_EQ(askedHardDrive.size(), 2u);
    EXPECT_FALSE(TempTree::exists(b1) || TempTree::exists(b2));
    EXPECT_TRUE(TempTree::exists(a2));
}

TEST_F(RemovalSummary, theThirdMethodAndTheSummarySitBelowTheDesignedControls)
{
    form.PageControl1->setCurrentIndex(2);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.RadioButton1->pos(), QPoint(16, 32));
    EXPECT_EQ(form.RadioButton2->pos(), QPoint(16, 56));
    const std::vector<QWidget *> controls {form.RadioButton1, form.RadioButton2, form.HardLinksButton,
                                           form.RemovalSummaryLabel};
    for (std::size_t a = 0; a < controls.size(); ++a) {
        EXPECT_LT(controls[a]->geometry().bottom(), form.Panel3->y()) << a;
        for (std::size_t b = a + 1; b < controls.size(); ++b) {
            EXPECT_FALSE(controls[a]->geometry().intersects(controls[b]->geometry())) << a << " and " << b;
        }
    }
}

TEST(HardDriveQuestion, NamesTheCountAndReturnAndEscapeCancelWhileAltDDeletes)
{
    const auto answer = [](QKeyCombination key) {
        QMessageBox *box = MakeHardDriveQuestion(nullptr, 3);
        EXPECT_EQ(box->text(), QStringLiteral("Delete 3 marked files from the hard drive?"));
        EXPECT_TRUE(box->informativeText().contains(QStringLiteral("cannot be undone")));
        QTimer::singleShot(0, box, [box, key] {
            box->activateWindow();
            [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(box);
            QTest::keyClick(box->windowHandle(), key.key(), key.keyboardModifiers());
            // A key that chose nothing must fail the test, not leave it waiting.
            if (!QTest::qWaitFor([box] { return !box->isVisible(); }, 5000)) {
                box->reject();
            }
        });
        box->exec();
        const bool remove = box->clickedButton() != nullptr
            && box->clickedButton()->objectName() == QStringLiteral("deleteFromHardDrive");
        delete box;
        return remove;
    };
    EXPECT_FALSE(answer(QKeyCombination(Qt::Key_Return)));
    EXPECT_FALSE(answer(QKeyCombination(Qt::Key_Escape)));
    EXPECT_TRUE(answer(QKeyCombination(Qt::AltModifier, Qt::Key_D)));
}

} // namespace
