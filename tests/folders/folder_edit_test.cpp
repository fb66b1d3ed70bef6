#include "folders/folder_chooser_window.h"
#include "folders/folder_edit.h"
#include "support/temp_tree.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QPushButton>
#include <QTimer>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace quillmere;

namespace {

// The folder edit with a dialog that records how it was asked and answers
// with a prepared choice.
class FolderEdit : public ::testing::Test {
protected:
    void SetUp() override
    {
        edit.resize(350, 25);
        edit.Dialog = [this](QWidget *, const QString &title, const QString &preselect) {
            asked.push_back({title, preselect});
            return answer;
        };
    }
    struct Request {
        QString title;
        QString preselect;
    };
    TFolderEdit edit;
    QString answer;
    std::vector<Request> asked;
    test::TempTree tree;
};

} // namespace

TEST_F(FolderEdit, theBrowseButtonSpansTheRightEdgeAndOnlyALeftClickOrCtrlEnterBrowse)
{
    edit.setButtonWidth(70);
    EXPECT_EQ(edit.button()->geometry(), QRect(280, 0, 70, 25));
    EXPECT_EQ(edit.ButtonCaption(), QStringLiteral("Browse"));
    edit.setText(QString::fromStdString(tree.root()));
    QTest::mouseClick(edit.button(), Qt::RightButton);
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_TRUE(asked.empty());

    QTest::mouseClick(edit.button(), Qt::LeftButton);
    QTest::keyClick(&edit, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_EQ(asked.size(), 2u);
    for (const Request &request : asked) {
        EXPECT_EQ(request.title, QStringLiteral("Select folder"));
        EXPECT_EQ(request.preselect, QString::fromStdString(tree.root()));
    }
}

TEST_F(FolderEdit, aRightPressOnTheButtonOpensNoMenu)
{
    edit.show();
    bool menuOpened = false;
    QTimer::singleShot(0, &edit, [&] {
        if (QWidget *popup = QApplication::activePopupWidget()) {
            menuOpened = true;
            popup->close();
        }
    });
    QContextMenuEvent menuRequest(QContextMenuEvent::Mouse, QPoint(5, 5), edit.button()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(edit.button(), &menuRequest);
    QCoreApplication::processEvents();
    EXPECT_FALSE(menuOpened);
    EXPECT_TRUE(asked.empty());
}

TEST_F(FolderEdit, cancelKeepsTheTextAndConfirmReplacesIt)
{
    int notified = 0;
    edit.OnButtonClick = [&] {
        ++notified;
        EXPECT_TRUE(asked.empty() || notified > static_cast<int>(asked.size()));
    };
    edit.setText(QStringLiteral("/no/such/folder/typed"));
    edit.Browse();
    EXPECT_EQ(edit.text(), QStringLiteral("/no/such/folder/typed"));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].preselect, QString()); // a folder that does not exist is not preselected

    answer = QString::fromStdString(tree.makeFolder("chosen"));
    edit.Browse();
    EXPECT_EQ(edit.text(), answer);
    edit.Browse();
    EXPECT_EQ(edit.text(), answer);
    EXPECT_EQ(notified, 3);
}

TEST_F(FolderEdit, theTreeChooserWritesTheSelectedFolder)
{
    const std::string folder = tree.makeFolder("pictures");
    TForm3 chooser(&edit);
    EXPECT_EQ(chooser.windowTitle(), QStringLiteral("Form3"));
    EXPECT_EQ(chooser.size(), QSize(405, 301));

    edit.setText(QStringLiteral("before"));
    chooser.BitBtn1Click();
    EXPECT_EQ(edit.text(), QString()); // nothing selected: the empty text

    chooser.selectFolder(QString::fromStdString(folder));
    chooser.BitBtn1Click();
    EXPECT_EQ(edit.text(), QString::fromStdString(folder));
}
