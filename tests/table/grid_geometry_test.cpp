#include "table/grid_geometry.h"
#include "table/program_tables.h"

#include <gtest/gtest.h>

using namespace quillmere;

TEST(GridPlacement, alignmentUsesMarginsOrHalvesRoundedDown)
{
    EXPECT_EQ(alignedOffset(TAlignment::Left, 138, 100), 2);
    EXPECT_EQ(alignedOffset(TAlignment::Right, 138, 100), 36);
    EXPECT_EQ(alignedOffset(TAlignment::Center, 138, 100), 19);
    // Each half drops its remainder on its own: 81 / 2 - 75 / 2 = 40 - 37.
    EXPECT_EQ(alignedOffset(TAlignment::Center, 81, 75), 3);
    EXPECT_EQ(alignedOffset(TAlignment::Center, 27, 13), 7);
    // A cell narrower than the image puts it partly outside, never clamps.
    EXPECT_EQ(alignedOffset(TAlignment::Center, 64, 100), -18);
    EXPECT_EQ(alignedOffset(TAlignment::Right, 64, 100), -38);
}

TEST(GridPlacement, imageKeepsItsSizeAndIsCentredVertically)
{
    const QRect cell(522, 30, 138, 81);
    EXPECT_EQ(imageTopLeft(cell, QSize(100, 75), TAlignment::Center), QPoint(541, 33));
    EXPECT_EQ(imageTopLeft(cell, QSize(100, 75), TAlignment::Left), QPoint(524, 33));
    EXPECT_EQ(imageTopLeft(cell, QSize(100, 75), TAlignment::Right), QPoint(558, 33));
    // Scrolled partly above the viewport the placement stays relative to the cell.
    EXPECT_EQ(imageTopLeft(QRect(0, -41, 138, 81), QSize(100, 75), TAlignment::Center), QPoint(19, -38));
}

TEST(GridPlacement, checkBoxIsThirteenPixelSquarePlacedByAlignment)
{
    const QRect cell(661, 30, 64, 81);
    EXPECT_EQ(checkBoxRect(cell, TAlignment::Center), QRect(661 + 26, 30 + 34, 13, 13));
    EXPECT_EQ(checkBoxRect(cell, TAlignment::Left), QRect(663, 64, 13, 13));
    EXPECT_EQ(checkBoxRect(cell, TAlignment::Right), QRect(661 + 64 - 15, 64, 13, 13));
}

namespace {

GridGeometry resultLayout(int rows, int header = 20)
{
    auto grid = makeResultGrid(nullptr);
    grid->AppendRows(rows);
    return GridGeometry::of(*grid, header);
}

} // namespace

TEST(GridLayout, resultTableColumnsSitSideBySideWithGridLines)
{
    const GridGeometry g = resultLayout(3);
    ASSERT_EQ(g.columnCount(), 10);
    EXPECT_EQ(g.rowPitch(), 82);
    EXPECT_EQ(g.cellRect(colNumber, 0), QRect(0, 20, 27, 81));
    EXPECT_EQ(g.cellRect(colDest, 0), QRect(28, 20, 242, 81));
    EXPECT_EQ(g.cellRect(colPriv, 2), QRect(522, 20 + 2 * 82, 138, 81));
    EXPECT_EQ(g.cellRect(colDel, 1), QRect(661, 102, 64, 81));
    // The hidden set-number column takes no room and has no rectangle.
    EXPECT_FALSE(g.columnShown(colGroup));
    EXPECT_FALSE(g.columnShown(8)); // the similarity, hidden until a similar-picture search
    EXPECT_TRUE(g.cellRect(colGroup, 0).isNull());
    EXPECT_TRUE(g.headerRect(colGroup).isNull());
    EXPECT_EQ(g.contentWidth(), 726);
    EXPECT_EQ(g.contentHeight(), 3 * 82);
    EXPECT_EQ(g.headerRect(colSize), QRect(271, 0, 74, 20));
}

TEST(GridLayout, hiddenTablesHaveNoGridLinesOrHeaderHeightWhenOff)
{
    TDataGrid grid(QStringLiteral("plain"), goSelectFullRow, 16);
    grid.addColumn<TGridTextColumn>(QStringLiteral("a")).Width = 10;
    grid.addColumn<TGridTextColumn>(QStringLiteral("b")).Width = 30;
    grid.AppendRows(2);
    const GridGeometry g = GridGeometry::of(grid, 20);
    EXPECT_EQ(g.headerHeight(), 0);
    EXPECT_EQ(g.rowPitch(), 16);
    EXPECT_EQ(g.cellRect(1, 1), QRect(10, 16, 30, 16));
    EXPECT_EQ(g.hitTest(QPoint(5, 3)), (GridHit { GridHit::Cell, 0, 0 }));
}

TEST(GridLayout, hitTestFindsHeaderCellsAndNothingBeyond)
{
    const GridGeometry g = resultLayout(3);
    EXPECT_EQ(g.hitTest(QPoint(300, 5)), (GridHit { GridHit::Header, colSize, -1 }));
    EXPECT_EQ(g.hitTest(QPoint(0, 20)), (GridHit { GridHit::Cell, colNumber, 0 }));
    // A grid line belongs to the cell before it.
    EXPECT_EQ(g.hitTest(QPoint(27, 100)), (GridHit { GridHit::Cell, colNumber, 0 }));
    EXPECT_EQ(g.hitTest(QPoint(28, 101)), (GridHit { GridHit::Cell, colDest, 0 }));
    EXPECT_EQ(g.hitTest(QPoint(28, 102)), (GridHit { GridHit::Cell, colDest, 1 }));
    EXPECT_EQ(g.hitTest(QPoint(725, 20 + 3 * 82 - 1)), (GridHit { GridHit::Cell, colDel, 2 }));
    // Past the last column, below the last row, or off the viewport: nothing.
    EXPECT_EQ(g.hitTest(QPoint(726, 30)).kind, GridHit::Nothing);
    EXPECT_EQ(g.hitTest(QPoint(100, 20 + 3 * 82)).kind, GridHit::Nothing);
    EXPECT_EQ(g.hitTest(QPoint(-1, 30)).kind, GridHit::Nothing);
    EXPECT_EQ(resultLayout(0).hitTest(QPoint(100, 30)).kind, GridHit::Nothing);
}

TEST(GridLayout, scrollingMovesRowsUnderAFixedHeader)
{
    GridGeometry g = resultLayout(20000);
    g.setScroll(30, 82 * 15000 + 41);
    EXPECT_EQ(g.cellRect(colDest, 15000), QRect(-2, 20 - 41, 242, 81));
    EXPECT_EQ(g.headerRect(colDest), QRect(-2, 0, 242, 20));
    // The header band stays a header whatever the vertical offset.
    EXPECT_EQ(g.hitTest(QPoint(10, 19)), (GridHit { GridHit::Header, colDest, -1 }));
    EXPECT_EQ(g.hitTest(QPoint(10, 20)), (GridHit { GridHit::Cell, colDest, 15000 }));
    EXPECT_EQ(g.hitTest(QPoint(10, 20 + 41)), (GridHit { GridHit::Cell, colDest, 15001 }));

    // 300 pixels of rows from 41 pixels into row 15000 reach into row 15004;
    // the range is half-open.
    EXPECT_EQ(g.visibleRows(320), std::make_pair(15000, 15005));
    g.setScroll(0, 82 * 19998);
    EXPECT_EQ(g.visibleRows(1000), std::make_pair(19998, 20000));
    EXPECT_EQ(resultLayout(0).visibleRows(500), std::make_pair(0, 0));
    EXPECT_EQ(g.visibleRows(20), std::make_pair(0, 0));
}

TEST(GridLayout, scrollToShowMovesAsLittleAsNeeded)
{
    GridGeometry g = resultLayout(100);
    const int view = 20 + 300; // header plus 300 pixels of rows
    g.setScroll(0, 820);
    EXPECT_EQ(g.scrollYToShow(11, view), 820); // already fully shown
    EXPECT_EQ(g.scrollYToShow(9, view), 9 * 82); // above: its top goes to the top
    EXPECT_EQ(g.scrollYToShow(14, view), 15 * 82 - 300); // below: its grid line to the bottom
    EXPECT_EQ(g.scrollYToShow(50, 20 + 40), 50 * 82); // taller than the view: its top
}
