#include "common/error_report.h"
#include "app/main_window.h"
#include "common/stop_flag.h"
#include "folders/folder_edit.h"
#include "platform/errors.h"

#include "support/temp_tree.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace quillmere;

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        StopFlag = 1;
        form.Edit1->setText(tree.root().c_str());
    }
    test::TempTree tree;
    void TearDown() override { StopFlag = 1; }
    TForm1 form;
};

} // namespace

TEST_F(MainWindow, startsOnTheOptionsPageWithTheDesignedControls)
{
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Quillmere"));
    EXPECT_EQ(form.currentPage(), 0);
    EXPECT_EQ(form.PageControl1->count(), 4);
    EXPECT_EQ(form.BitBtn1->text(), QStringLiteral("Start"));
    EXPECT_EQ(form.BitBtn1->geometry(), QRect(0, 66, 75, 26));
    EXPECT_FALSE(form.BitBtn3->isVisibleTo(&form));
    EXPECT_EQ(form.Edit1->height(), 25);
    // The designed eight, then the similarity of a similar-picture search
    // and the hidden bytes that Size sorts by.
    EXPECT_EQ(form.DataGrid1->ColumnCount(), 10);
}

TEST_F(MainWindow, selectionButtonsArePlacedFromTheRightEdge)
{
    form.resize(769, 530);
    form.FormResize();
    EXPECT_EQ(form.BitBtn_1->x(), 669);
    EXPECT_EQ(form.BitBtn_2->x(), 594);
    EXPECT_EQ(form.BitBtn_3->x(), 519);
    form.resize(240, 300);
    form.FormResize();
    EXPECT_EQ(form.BitBtn_3->x(), 240 - 225 - 25);
    EXPECT_LT(form.BitBtn_3->x(), 0);
}

TEST_F(MainWindow, pagesFollowNextAndBackAndExitCloses)
{
    form.BitBtn5Click();
    EXPECT_EQ(form.currentPage(), 1);
    form.BitBtn5Click();
    EXPECT_EQ(form.currentPage(), 2);
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    EXPECT_EQ(form.currentPage(), 1);
    QTest::mouseClick(form.BitBtn4, Qt::LeftButton);
    EXPECT_EQ(form.currentPage(), 0);
    form.PageControl1->setCurrentIndex(3);
    QTest::mouseClick(form.BitBtn9, Qt::LeftButton);
    EXPECT_EQ(form.currentPage(), 2);

    // Exit, on the last page, closes the window.
    form.show();
    form.PageControl1->setCurrentIndex(3);
    QTest::mouseClick(form.BitBtn8, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(MainWindow, theRunGateRunsOneSearchPerPressFromAStoppedFlag)
{
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    EXPECT_EQ(form.currentPage(), 1);
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Finish"));
    EXPECT_EQ(StopFlag, 1);

    // Stop while idle arms the flag; the next Start disarms it and runs nothing.
    form.PageControl1->setCurrentIndex(0);
    QTest::mouseClick(form.BitBtn2, Qt::LeftButton);
    EXPECT_EQ(StopFlag, 0);
    form.Label3->setText(QStringLiteral("old"));
    form.ProgressBar1->setValue(40);
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    EXPECT_EQ(form.currentPage(), 1);
    EXPECT_EQ(StopFlag, 1);
    EXPECT_EQ(form.Label1->text(), QString());
    EXPECT_EQ(form.Label3->text(), QString());
    EXPECT_EQ(form.ProgressBar1->value(), 0);

    // The press after that runs again.
    form.PageControl1->setCurrentIndex(0);
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Finish"));

    // The hidden Stop always sets the flag.
    StopFlag = 0;
    form.BitBtn3Click();
    EXPECT_EQ(StopFlag, 1);
}

TEST(ErrorReport, appendsAFullStopOnlyAfterCharactersThatSortAfterIt)
{
    EXPECT_EQ(errorReportText(QStringLiteral("List index out of bounds (-1)")),
              QStringLiteral("List index out of bounds (-1)"));
    EXPECT_EQ(errorReportText(QStringLiteral("JPEG error #42")), QStringLiteral("JPEG error #42."));
    EXPECT_EQ(errorReportText(QStringLiteral("Done.")), QStringLiteral("Done."));
    EXPECT_EQ(errorReportText(QStringLiteral("a-")), QStringLiteral("a-"));
    EXPECT_EQ(errorReportText(QString()), QString());
}

namespace {
// A widget whose painting fails, guarded as every paint of the program is.
class FailingPaint : public QWidget {
protected:
    void paintEvent(QPaintEvent *) override
    {
        paintReportingErrors([] { throw EJPEG(std::string("JPEG error #42")); });
    }
};
// An object whose event handling fails without a guard of its own.
class UnguardedObject : public QObject {
public:
    bool event(QEvent *) override { throw EListError(std::string("List index out of bounds (-1)")); }
};
} // namespace

TEST(ErrorReport, handlersAndPaintsReportTheirOwnErrorsAndTheApplicationCatchesTheRest)
{
    QStringList shown;
    const ErrorPresenter previous = setErrorPresenter([&](const QString &text) { shown << text; });
    QPushButton button;
    QObject::connect(&button, &QPushButton::clicked,
                     [] { runReportingErrors([] { throw Exception(std::string("Stream read error")); }); });
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(shown, (QStringList{"Stream read error.", "Stream read error."}));

    // A paint's error shows only once the paint is over.
    FailingPaint widget;
    widget.resize(20, 20);
    EXPECT_FALSE(widget.grab().isNull());
    EXPECT_EQ(shown.size(), 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.mid(2), QStringList{"JPEG error #42."});

    // The application object is the last net.
    UnguardedObject object;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&object, &event);
    setErrorPresenter(previous);
    EXPECT_EQ(shown.mid(3), QStringList{"List index out of bounds (-1)"});
}
