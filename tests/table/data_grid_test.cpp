#include "platform/errors.h"
#include "support/error_text.h"
#include "table/program_tables.h"

#include <QStringList>
#include <functional>
#include <gtest/gtest.h>

using namespace quillmere;

namespace {
const auto errorText = test::errorTextOf<Exception>;
} // namespace

TEST(DataGridModel, anEmptyTableRefusesCellLookupAndNewRowsTakeColumnDefaults)
{
    auto grid = makeResultGrid(nullptr);
    EXPECT_EQ(grid->RowCount(), 0);
    EXPECT_EQ(grid->SelectedRowIndex(), -1);
    EXPECT_EQ(errorText([&] { grid->CellAt(QStringLiteral("Dest"), 0); }), "List index out of bounds (0)");
    EXPECT_EQ(errorText([&] { grid->CellAt(QStringLiteral("Dest"), -1); }), "List index out of bounds (-1)");
    EXPECT_EQ(errorText([&] { grid->RemoveRow(0); }), "List index out of bounds (0)");

    EXPECT_EQ(grid->AppendRows(1), 0);
    EXPECT_EQ(grid->AppendRows(1), 1);
    for (const char *name : {"Dest", "Size", "Res", "Date"}) {
        EXPECT_EQ(grid->CellAt(QString::fromLatin1(name), 1).text(), QString()) << name;
    }
    EXPECT_EQ(grid->CellAt(QStringLiteral("Priv"), 1).asInteger(), 0);
    EXPECT_FALSE(grid->CellAt(QStringLiteral("Del"), 1).asBoolean());
    EXPECT_EQ(grid->CellAt(QStringLiteral("Del"), 1).text(), QStringLiteral("False"));
    EXPECT_EQ(grid->CellAt(QStringLiteral("Group"), 1).asFloat(), 0.0);
    // The row-number cell ignores its "0" default and shows the row index + 1.
    EXPECT_EQ(grid->CellAt(0, 1).text(), QStringLiteral("2"));
    EXPECT_EQ(grid->CellAt(0, 0).text(), QStringLiteral("1"));
    grid->CellAt(0, 0).setText(QStringLiteral("77"));
    EXPECT_EQ(grid->CellAt(0, 0).text(), QStringLiteral("1"));
    EXPECT_EQ(grid->AppendRows(0), 1);
    EXPECT_EQ(grid->RowCount(), 2);
}

TEST(DataGridModel, columnsAreFoundIgnoringAsciiCaseOnly)
{
    auto grid = makeCandidateGrid();
    for (const char *name : {"Size2", "SIZE2", "size2"}) {
        ASSERT_NE(grid->FindColumn(QString::fromLatin1(name)), nullptr) << name;
        EXPECT_EQ(grid->FindColumn(QString::fromLatin1(name))->Name(), QStringLiteral("size2"));
    }
    EXPECT_EQ(grid->FindColumn(QStringLiteral("size 2")), nullptr);
    EXPECT_EQ(grid->FindColumn(QString::fromUtf8("s\u0130ze2")), nullptr);

    grid->AppendRows(1);
    grid->CellAt(QStringLiteral("1"), 0).setText(QStringLiteral("123"));
    EXPECT_EQ(grid->CellAt(QStringLiteral("size2"), 0).text(), QStringLiteral("123"));
    EXPECT_EQ(errorText([&] { grid->CellAt(QStringLiteral("nothing"), 0); }),
              "Invalid Columnname 'nothing' for 'TDataGrid:DataGrid2'.");
    EXPECT_EQ(grid->LastAddressedColumn(), 1);
}

TEST(DataGridModel, cellConversionsAndTextKeptAsIs)
{
    auto grid = makeResultGrid(nullptr);
    grid->AppendRows(1);
    const auto del = grid->CellAt(QStringLiteral("Del"), 0);
    for (const char *truthy : {"1", "true", "TRUE", "True", "tRuE"}) {
        del.setText(QStringLiteral("False"));
        del.setText(QString::fromLatin1(truthy));
        EXPECT_TRUE(del.asBoolean()) << truthy;
        EXPECT_EQ(del.text(), QStringLiteral("True"));
    }
    for (const char *falsy : {"0", "yes", "False", "", "true "}) {
        del.setText(QStringLiteral("1"));
        del.setText(QString::fromLatin1(falsy));
        EXPECT_FALSE(del.asBoolean()) << falsy;
    }
    const auto priv = grid->CellAt(QStringLiteral("Priv"), 0);
    priv.setText(QStringLiteral("-12"));
    EXPECT_EQ(priv.asInteger(), -12);
    EXPECT_EQ(priv.text(), QStringLiteral("-12"));
    priv.setText(QString());
    EXPECT_EQ(priv.asInteger(), 0);
    EXPECT_THROW(priv.setText(QStringLiteral("1.5")), EConvertError);
    EXPECT_EQ(priv.asInteger(), 0);

    const auto group = grid->CellAt(QStringLiteral("Group"), 0);
    group.setText(QStringLiteral("2.5"));
    EXPECT_EQ(group.asFloat(), 2.5);
    EXPECT_EQ(group.text(), QStringLiteral("2.5"));
    EXPECT_THROW(group.setText(QStringLiteral("x")), EConvertError);

    // Text cells keep any path text unaltered.
    const QString odd = QString::fromUtf16(u"/tmp/\xDCFF\u00e9&x\nname.jpg");
    grid->CellAt(QStringLiteral("Dest"), 0).setText(odd);
    EXPECT_EQ(grid->CellAt(QStringLiteral("Dest"), 0).text(), odd);
}

TEST(DataGridModel, removingRowsKeepsTheSelectionInside)
{
    auto grid = makePairGrid();
    grid->AppendRows(3);
    for (int r = 0; r < 3; ++r) {
        grid->CellAt(0, r).setText(QString::number(r));
    }
    grid->SelectCell(1, 2);
    EXPECT_EQ(grid->SelectedRowIndex(), 2);
    grid->RemoveRow(2);
    EXPECT_EQ(grid->SelectedRowIndex(), 1);
    grid->RemoveRow(0);
    EXPECT_EQ(grid->SelectedRowIndex(), 0);
    EXPECT_EQ(grid->CellAt(0, 0).text(), QStringLiteral("1"));
    grid->RemoveRow(0);
    EXPECT_EQ(grid->SelectedRowIndex(), -1);
    EXPECT_EQ(errorText([&] { grid->RemoveRow(5); }), "List index out of bounds (5)");
}

TEST(DataGridModel, contentChangesClearTheSortMemoryButSingleRemovalsDoNot)
{
    auto grid = makeCandidateGrid();
    grid->AppendRows(3);
    auto &size = *grid->FindColumn(QStringLiteral("size2"));
    size.setSorted(true);
    EXPECT_TRUE(grid->MemorySorted());
    grid->RemoveRow(0);
    EXPECT_TRUE(grid->MemorySorted());
    grid->CellAt(1, 0).setText(QStringLiteral("x"));
    EXPECT_FALSE(grid->MemorySorted());
    size.setSorted(true);
    grid->AppendRows(1);
    EXPECT_FALSE(grid->MemorySorted());
    size.setSorted(true);
    grid->RemoveAllRows();
    EXPECT_FALSE(grid->MemorySorted());
    EXPECT_TRUE(size.Sorted());

    int notifications = 0;
    grid->onChanged = [&] { ++notifications; };
    grid->AppendRows(1);
    grid->CellAt(0, 0).setText(QStringLiteral("y"));
    EXPECT_GE(notifications, 2);
}

TEST(DataGridModel, similarityCellsShowPercentAndSortByTheirNumber)
{
    auto grid = makeResultGrid(nullptr);
    TGridCustomColumn *similar = grid->FindColumn(QStringLiteral("Similar"));
    ASSERT_NE(similar, nullptr);
    EXPECT_EQ(similar->Index(), 8); // after the designed columns, which keep their places
    EXPECT_EQ(similar->Header, QStringLiteral("Similarity"));
    EXPECT_FALSE(similar->Visible);

    grid->AppendRows(4);
    const QString dest = QStringLiteral("Dest");
    const std::vector<std::pair<QString, int>> rows {{"a", 100}, {"b", 9}, {"c", 93}, {"d", 85}};
    for (int r = 0; r < 3; ++r) {
        grid->CellAt(dest, r).setText(rows[static_cast<std::size_t>(r)].first);
        grid->CellAt(QStringLiteral("Similar"), r).setInteger(rows[static_cast<std::size_t>(r)].second);
    }
    grid->CellAt(dest, 3).setText(QStringLiteral("d"));
    grid->CellAt(QStringLiteral("Similar"), 3).setText(QStringLiteral("85%")); // as it shows reads back
    EXPECT_EQ(grid->CellAt(QStringLiteral("Similar"), 0).text(), QStringLiteral("100%"));
    EXPECT_EQ(grid->CellAt(QStringLiteral("Similar"), 3).asInteger(), 85);

    // By number: 9 before 85 before 93 before 100, where text would put
    // "100%" first and "9%" after "85%".
    similar->setSorted(true);
    QStringList order;
    for (int r = 0; r < 4; ++r) {
        order << grid->CellAt(dest, r).text();
    }
    EXPECT_EQ(order, (QStringList {"b", "d", "c", "a"}));
}
