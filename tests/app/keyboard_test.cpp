#include "table/data_grid.h"
#include "window_fixture.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

using namespace quillmere;

namespace {

class Keyboard : public test::WindowFixture {
protected:
    // Two copies of a picture and one of its own, then a search by Return.
    void searchByReturn()
    {
        const std::string a = writePicture("a.jpg", 120, 90, "JPEG", 1);
        copyFile(a, "b.jpg");
        writePicture("c.jpg", 120, 90, "JPEG", 2);
        form.Edit1->setFocus();
        QTest::keyClick(form.Edit1, Qt::Key_Return);
    }
    bool marked(int row) { return form.DataGrid1->CellAt(QStringLiteral("Del"), row).asBoolean(); }
};

} // namespace

TEST_F(Keyboard, returnInTheFolderFieldSearchesAndArrowsAndSpaceMarkRows)
{
    searchByReturn();
    EXPECT_EQ(form.PageControl1->currentIndex(), 1);
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Finish"));
    ASSERT_EQ(form.DataGrid1->RowCount(), 2);
    const int del = form.DataGrid1->FindColumn(QStringLiteral("Del"))->Index();
    const int dest = form.DataGrid1->FindColumn(QStringLiteral("Dest"))->Index();

    // The first row chosen by a key is chosen on its check box.
    form.DataGrid1View->setFocus();
    QTest::keyClick(form.DataGrid1View, Qt::Key_Down);
    EXPECT_EQ(form.DataGrid1->SelectedColumnIndex(), del);
    QTest::keyClick(form.DataGrid1View, Qt::Key_Space);
    EXPECT_TRUE(marked(0));
    // From another cell of the row the arrows lead to the check box; the
    // space bar marks only there.
    form.DataGrid1->SelectCell(dest, 1);
    QTest::keyClick(form.DataGrid1View, Qt::Key_Space);
    EXPECT_FALSE(marked(1));
    for (int step = 0; step < 8 && form.DataGrid1->SelectedColumnIndex() != del; ++step) {
        QTest::keyClick(form.DataGrid1View, del > dest ? Qt::Key_Right : Qt::Key_Left);
    }
    EXPECT_EQ(form.DataGrid1->SelectedColumnIndex(), del);
    EXPECT_EQ(form.DataGrid1->SelectedRowIndex(), 1);
    QTest::keyClick(form.DataGrid1View, Qt::Key_Space);
    EXPECT_TRUE(marked(1));
}

TEST_F(Keyboard, theMenuKeyAndShiftF10OpenTheRowsMenuAndEscapeClosesTheImageView)
{
    searchByReturn();
    ASSERT_EQ(form.DataGrid1->RowCount(), 2);
    form.DataGrid1->SelectCell(0, 0);
    for (const QKeyCombination key : {QKeyCombination(Qt::Key_Menu), QKeyCombination(Qt::ShiftModifier, Qt::Key_F10)}) {
        form.DataGrid1View->setFocus();
        QTest::keyClick(form.DataGrid1View, key.key(), key.keyboardModifiers());
        EXPECT_TRUE(form.PopupMenu1->isVisible()) << key.toCombined();
        form.PopupMenu1->hide();
    }
    QTest::keyClick(form.DataGrid1View, Qt::Key_F10);
    EXPECT_FALSE(form.PopupMenu1->isVisible()) << "F10 alone opens no menu";

    form2.show();
    QTest::keyClick(&form2, Qt::Key_Escape);
    EXPECT_FALSE(form2.isVisible());
}

TEST_F(Keyboard, tabReachesBrowseAfterTheFolderAndTheFoundPagesButtonsInTheirVisibleOrder)
{
    EXPECT_EQ(form.Edit1->nextInFocusChain(), form.Edit1->button());
    EXPECT_NE(form.Edit1->button()->focusPolicy() & Qt::TabFocus, 0);

    // Left to right in the marking row, then the row of Next, Back, Stop.
    std::vector<QWidget *> seen;
    for (QWidget *w = form.DataGrid1View->nextInFocusChain(); seen.size() < 7; w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus) {
            seen.push_back(w);
        }
    }
    const std::vector<QWidget *> expected {form.BitBtn_3, form.BitBtn_2, form.BitBtn_1, form.BitBtn5, form.BitBtn4,
                                           form.BitBtn2, form.KeepOneButton};
    EXPECT_EQ(seen, expected);
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_LT(expected[i - 1]->x(), expected[i]->x()) << "the marking row as it is seen";
    }
}
