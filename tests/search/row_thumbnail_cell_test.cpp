#include "imaging/image_list.h"
#include "search/row_thumbnail_cell.h"
#include "support/temp_tree.h"
#include "table/program_tables.h"

#include <gtest/gtest.h>

using namespace quillmere;
using namespace quillmere::test;

TEST(RowThumbnailCell, writesTheResolutionToItsOwnRowOnlyWhenAStepSetsOne)
{
    TempTree tree;
    std::unique_ptr<TDataGrid> results = makeResultGrid(nullptr);
    TImageList list;
    results->AppendRows(3);
    const auto res = [&](int row) { return results->CellAt(QStringLiteral("Res"), row).text(); };
    for (int row = 0; row < 3; ++row) {
        results->CellAt(QStringLiteral("Res"), row).setText(QStringLiteral("before"));
    }

    // Not a JPEG: the stand-in and its size, in row 1 and nowhere else.
    EXPECT_EQ(MakeRowThumbnail(tree.writeFile("words.jpg", "some words"), 1, *results, list), 0);
    EXPECT_EQ(res(1), QStringLiteral("100 X 80"));
    EXPECT_EQ(res(0), QStringLiteral("before"));
    EXPECT_EQ(res(2), QStringLiteral("before"));

    // A broken bitmap sets no size: the cell keeps what it had.
    EXPECT_EQ(MakeRowThumbnail(tree.writeFile("broken.bmp", "no bitmap"), 2, *results, list), 1);
    EXPECT_EQ(res(2), QStringLiteral("before"));

    // A name that asks for no step: nothing appended, nothing written.
    EXPECT_EQ(MakeRowThumbnail(tree.writeFile("notes.txt", "text"), 0, *results, list), -1);
    EXPECT_EQ(res(0), QStringLiteral("before"));
    EXPECT_EQ(list.Count(), 2);
}
