#include "app/every_copy_question.h"
#include "app/hard_drive_question.h"
#include "platform/path_text.h"
#include "removal/recording_removal_view.h"
#include "window_fixture.h"

#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sys/stat.h>

using namespace quillmere;
using test::TempTree;

namespace {

class RemovalWindow : public test::WindowFixture {
protected:
    void mark(const std::string &path) { form.DataGrid1->CellAt(QStringLiteral("Del"), rowOf(path)).setBoolean(true); }
    void deleteBy(RemovalMethod method)
    {
        form.PageControl1->setCurrentIndex(2);
        (method == RemovalMethod::HardDrive ? form.RadioButton2 : form.RadioButton1)->setChecked(true);
        QTest::mouseClick(form.BitBtn6, Qt::LeftButton);
    }
    QStringList report() { return test::WithoutSpaceFreed(form.Memo3->toPlainText().split(QLatin1Char('\n'))); }
};

} // namespace

TEST_F(RemovalWindow, deleteOverwritesOnlyTheMarkedCopiesAndReportsThem)
{
    const std::string original = tree.writeFile("keep.jpg", std::string(5000, 'k'));
    const std::string copy1 = tree.writeFile("copy1.jpg", std::string(5000, 'k'));
    const std::string copy2 = tree.writeFile("copy2.jpg", std::string(5000, 'k'));
    search("*.jpg");
    ASSERT_EQ(form.DataGrid1->RowCount(), 3);
    mark(copy1);
    mark(copy2);
    form.BitBtn5Click();
    ASSERT_EQ(form.currentPage(), 2);
    deleteBy(RemovalMethod::HardDrive);

    EXPECT_EQ(form.currentPage(), 3);
    EXPECT_TRUE(askedSets.empty());
    QStringList expected {QStringLiteral("Next files removed from the Hard drive:")};
    for (int row = 0; row < 3; ++row) {
        if (cell("Dest", row) != QString::fromStdString(original)) {
            expected << cell("Dest", row);
        }
    }
    EXPECT_EQ(report(), expected);
    EXPECT_FALSE(TempTree::exists(copy1) || TempTree::exists(copy2));
    EXPECT_EQ(TempTree::readFile(original), std::string(5000, 'k'));
    // The rows and their marks stay; a second Delete says the files are gone.
    EXPECT_EQ(form.DataGrid1->RowCount(), 3);
    form.BitBtn4Click();
    form.BitBtn6Click();
    EXPECT_EQ(report().mid(0, 3), (QStringList {QStringLiteral("Next files removed from the Hard drive:"), QString(),
                                                QStringLiteral("2 marked files were not removed:")}));
}

TEST_F(RemovalWindow, aFileReplacedAfterTheSearchIsLeftAndReported)
{
    for (const RemovalMethod method : {RemovalMethod::RecycleBin, RemovalMethod::HardDrive}) {
        TempTree local;
        form.Edit1->setText(QString::fromStdString(local.root()));
        const std::string a = local.writeFile("a.jpg", std::string(700, 'a'));
        const std::string b = local.writeFile("b.jpg", std::string(700, 'a'));
        local.writeFile("c.jpg", std::string(700, 'a'));
        search("*.jpg");
        ASSERT_EQ(form.DataGrid1->RowCount(), 3);
        mark(b);
        // Another file, the same length and time, renamed over it.
        test::replaceKeepingTimes(b, std::string(700, 'b'));

        deleteBy(method);
        EXPECT_EQ(TempTree::readFile(b), std::string(700, 'b'));
        EXPECT_EQ(TempTree::readFile(a), std::string(700, 'a'));
        EXPECT_EQ(report(), (QStringList {RemovalHeading(method), QString(),
                                          QStringLiteral("1 marked file was not removed:"),
                                          QString::fromStdString(b) + QStringLiteral(" \u2014 changed since the search")}));
    }
}

TEST_F(RemovalWindow, whatTheUserDoesDuringThePassLeavesItsMethodItsFilesAndItsReport)
{
    std::vector<std::string> marked;
    std::vector<std::string> kept;
    for (const char *set : {"a", "b", "c"}) {
        const std::string content(300 + 100 * (set[0] - 'a'), set[0]);
        marked.push_back(tree.writeFile(std::string(set) + "1.jpg", content));
        kept.push_back(tree.writeFile(std::string(set) + "2.jpg", content));
    }
    search("*.jpg");
    ASSERT_EQ(form.DataGrid1->RowCount(), 6);
    std::set<ino_t> markedFiles;
    for (const std::string &path : marked) {
        mark(path);
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        markedFiles.insert(info.st_ino);
    }
    QStringList expected {RemovalHeading(RemovalMethod::RecycleBin)};
    for (int row = 0; row < 6; ++row) {
        if (form.DataGrid1->CellAt(QStringLiteral("Del"), row).asBoolean()) {
            expected << cell("Dest", row);
        }
    }
    form.PageControl1->setCurrentIndex(2);
    form.RadioButton1->setChecked(true);

    // At the pass's first pump the user goes back, picks the other method,
    // presses Delete twice, sorts, marks every row and presses Start.
    bool ranDuringPass = false;
    QTimer::singleShot(0, &form, [&] {
        ranDuringPass = form.removalRunning();
        EXPECT_FALSE(form.BitBtn1->isEnabled());
        QTest::mouseClick(form.BitBtn9, Qt::LeftButton);
        EXPECT_EQ(form.currentPage(), 2);
        form.RadioButton2->setChecked(true);
        // Delete leads back to the running pass's report.
        QTest::mouseClick(form.BitBtn6, Qt::LeftButton);
        EXPECT_EQ(form.currentPage(), 3);
        form.PageControl1->setCurrentIndex(2);
        form.BitBtn6Click();
        form.DataGrid1->HeaderClick(form.DataGrid1->FindColumn(QStringLiteral("Dest"))->Index());
        form.BitBtn_2Click();
        form.PageControl1->setCurrentIndex(0);
        form.BitBtn1Click();
    });
    form.BitBtn6Click();

    EXPECT_TRUE(ranDuringPass);
    EXPECT_EQ(report(), expected);
    EXPECT_EQ(form.DataGrid1->RowCount(), 6);
    // The trash method's result: each marked file, whole, in the trash.
    const char *dataHome = std::getenv("XDG_DATA_HOME");
    const std::string trashFiles = (dataHome != nullptr && dataHome[0] != '\0'
                                        ? std::string(dataHome)
                                        : std::string(std::getenv("HOME")) + "/.local/share")
        + "/Trash/files";
    for (const auto &entry : std::filesystem::directory_iterator(trashFiles)) {
        struct stat info {};
        if (::lstat(entry.path().c_str(), &info) == 0) {
            markedFiles.erase(info.st_ino);
        }
    }
    EXPECT_TRUE(markedFiles.empty()) << markedFiles.size() << " marked files are not in the trash";
    for (const std::string &path : kept) {
        EXPECT_TRUE(TempTree::exists(path)) << path;
    }
    EXPECT_TRUE(form.BitBtn1->isEnabled() && !form.removalRunning());
}

TEST_F(RemovalWindow, removingEveryCopyOfASetIsAskedFirst)
{
    const std::string a1 = tree.writeFile("a1.jpg", std::string(300, 'a'));
    const std::string a2 = tree.writeFile("a2.jpg", std::string(300, 'a'));
    const std::string b1 = tree.writeFile("b1.jpg", std::string(400, 'b'));
    const std::string b2 = tree.writeFile("b2.jpg", std::string(400, 'b'));
    const std::string c1 = tree.writeFile("c1.jpg", std::string(500, 'c'));
    const std::string c2 = tree.writeFile("c2.jpg", std::string(500, 'c'));
    search("*.jpg");
    ASSERT_EQ(form.DataGrid1->RowCount(), 6);
    for (const std::string &path : {a1, a2, b1, b2, c1}) {
        mark(path);
    }
    form.Memo3->setPlainText(QStringLiteral("earlier report"));

    // Cancelled: nothing touched, still on the removal page.
    deleteBy(RemovalMethod::HardDrive);
    EXPECT_EQ(askedSets, std::vector<int> {2});
    EXPECT_EQ(form.currentPage(), 2);
    EXPECT_EQ(form.Memo3->toPlainText(), QStringLiteral("earlier report"));
    for (const std::string &path : {a1, a2, b1, b2, c1, c2}) {
        EXPECT_TRUE(TempTree::exists(path)) << path;
    }

    // Confirmed: every marked copy goes, the unmarked one stays.
    removeEveryCopy = true;
    deleteBy(RemovalMethod::RecycleBin);
    EXPECT_EQ(askedSets, (std::vector<int> {2, 2}));
    EXPECT_EQ(form.currentPage(), 3);
    EXPECT_EQ(report().size(), 6);
    for (const std::string &path : {a1, a2, b1, b2, c1}) {
        EXPECT_FALSE(TempTree::exists(path)) << path;
    }
    EXPECT_TRUE(TempTree::exists(c2));
}

TEST_F(RemovalWindow, keepOneMarksAllButTheFirstRowOfEachSetInTheTablesOrder)
{
    std::vector<std::string> paths;
    for (const char *name : {"b.jpg", "a.jpg", "c.jpg"}) {
        paths.push_back(tree.writeFile(std::string("x-") + name, std::string(300, 'x')));
        paths.push_back(tree.writeFile(std::string("y-") + name, std::string(400, 'y')));
    }
    search("*.jpg");
    ASSERT_EQ(form.DataGrid1->RowCount(), 6);
    // Sorted by path, descending: the last name of each set comes first.
    const int destColumn = form.DataGrid1->FindColumn(QStringLiteral("Dest"))->Index();
    form.DataGrid1->HeaderClick(destColumn);
    if (cell("Dest", 0) < cell("Dest", 1)) {
        form.DataGrid1->HeaderClick(destColumn);
    }
    ASSERT_GT(cell("Dest", 0), cell("Dest", 1));
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

    form.PageControl1->setCurrentIndex(0);
    QTest::keyClick(&form, Qt::Key_K, Qt::ControlModifier); // not on the found page: nothing
    EXPECT_EQ(marks(), std::vector<bool>(6, false));
    form.PageControl1->setCurrentIndex(1);
    QTest::keyClick(&form, Qt::Key_K, Qt::ControlModifier);
    const std::vector<bool> keepFirstOfEach {false, true, true, false, true, true};
    EXPECT_EQ(marks(), keepFirstOfEach);
    EXPECT_TRUE(cell("Dest", 0).endsWith(QStringLiteral("y-c.jpg")));
    EXPECT_TRUE(cell("Dest", 3).endsWith(QStringLiteral("x-c.jpg")));

    // The same from the button, whatever was marked before; then the trash
    // leaves exactly the kept copy of each set.
    form.BitBtn_2Click();
    QTest::mouseClick(form.KeepOneButton, Qt::LeftButton);
    EXPECT_EQ(marks(), keepFirstOfEach);
    deleteBy(RemovalMethod::RecycleBin);
    EXPECT_TRUE(askedSets.empty());
    for (const std::string &path : paths) {
        EXPECT_EQ(TempTree::exists(path), path.ends_with("-c.jpg")) << path;
    }
}

TEST_F(RemovalWindow, keepOneStaysClearOfTheOtherButtonsAtEveryWidth)
{
    for (const int width : {769, 1200, 500}) {
        form.resize(width, 530);
        QCoreApplication::processEvents();
        const std::vector<QPushButton *> buttons {form.BitBtn5, form.BitBtn4, form.BitBtn2, form.BitBtn_1,
                                                  form.BitBtn_2, form.BitBtn_3, form.KeepRuleButton};
        for (QPushButton *keep : {form.KeepOneButton, form.KeepRuleButton}) {
            for (QPushButton *other : buttons) {
                EXPECT_TRUE(keep == other || !keep->geometry().intersects(other->geometry()))
                    << width << " " << other->text().toStdString();
            }
        }
    }
}

// Presses the key in the question and tells whether it chose the button
// that goes ahead with the removal.
static bool answerWith(QMessageBox *box, QKeyCombination key)
{
    QTimer::singleShot(0, box, [box, key] {
        box->activateWindow();
        [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(box);
        // Through the window, as a real key press arrives, so shortcuts apply.
        QTest::keyClick(box->windowHandle(), key.key(), key.keyboardModifiers());
        // A shortcut clicks its button after a short animation. A key that
        // chose nothing must fail the test, not leave it waiting.
        if (!QTest::qWaitFor([box] { return !box->isVisible(); }, 5000)) {
            box->reject();
        }
    });
    box->exec();
    const bool confirmed = box->clickedButton() != nullptr
        && box->buttonRole(box->clickedButton()) == QMessageBox::DestructiveRole;
    delete box;
    return confirmed;
}

TEST(EveryCopyQuestion, ReturnAndEscapeCancelAndAltRRemovesEveryCopy)
{
    const auto answer = [](QKeyCombination key) {
        QMessageBox *box = MakeEveryCopyQuestion(nullptr, 3, RemovalMethod::HardDrive);
        EXPECT_TRUE(box->text().contains(QStringLiteral("3 sets")));
        EXPECT_TRUE(box->informativeText().contains(QStringLiteral("cannot be undone")));
        return answerWith(box, key);
    };
    EXPECT_FALSE(answer(QKeyCombination(Qt::Key_Return)));
    EXPECT_FALSE(answer(QKeyCombination(Qt::Key_Escape)));
    EXPECT_TRUE(answer(QKeyCombination(Qt::AltModifier, Qt::Key_R)));
}

TEST(HardDriveQuestion, NamesTheCountAndReturnAndEscapeCancelWhileAltDDeletes)
{
    const auto answer = [](QKeyCombination key) {
        QMessageBox *box = MakeHardDriveQuestion(nullptr, 3);
        EXPECT_EQ(box->text(), QStringLiteral("Delete 3 marked files from the hard drive?"));
        EXPECT_TRUE(box->informativeText().contains(QStringLiteral("cannot be undone")));
        return answerWith(box, key);
    };
    EXPECT_FALSE(answer(QKeyCombination(Qt::Key_Return)));
    EXPECT_FALSE(answer(QKeyCombination(Qt::Key_Escape)));
    EXPECT_TRUE(answer(QKeyCombination(Qt::AltModifier, Qt::Key_D)));
}
