#include "common/random_generator.h"
#include "table/program_tables.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace quillmere;

namespace {

// A two-column table (key, tag) so rows with equal keys can be told apart.
std::unique_ptr<TDataGrid> table(const std::vector<std::pair<QString, QString>> &rows)
{
    auto grid = std::make_unique<TDataGrid>(QStringLiteral("T"));
    grid->addColumn<TGridTextColumn>(QStringLiteral("key"));
    grid->addColumn<TGridTextColumn>(QStringLiteral("tag"));
    for (const auto &[key, tag] : rows) {
        const int r = grid->AppendRows(1);
        grid->CellAt(0, r).setText(key);
        grid->CellAt(1, r).setText(tag);
    }
    return grid;
}

QStringList column(TDataGrid &grid, int c)
{
    QStringList out;
    for (int r = 0; r < grid.RowCount(); ++r) {
        out << grid.CellAt(c, r).text();
    }
    return out;
}

std::uint32_t stateAfterDraws(std::uint32_t state, int draws)
{
    RandomState() = state;
    for (int i = 0; i < draws; ++i) {
        RandomBelow(1);
    }
    return RandomState();
}

class TableSort : public ::testing::Test {
protected:
    void SetUp() override { RandomState() = 0; }
};

} // namespace

TEST_F(TableSort, alphabeticComparesCodeUnitsWithoutLocaleOrCase)
{
    auto numbers = table({{"200", "a"}, {"1000", "b"}, {"30", "c"}});
    numbers->Column(0).setSorted(true);
    EXPECT_EQ(column(*numbers, 0), (QStringList{"1000", "200", "30"}));

    auto letters = table({{"b", ""}, {"B", ""}, {"a", ""}, {"", ""}, {"\u00e9", ""}, {"ab", ""}});
    letters->Column(0).setSorted(true);
    EXPECT_EQ(column(*letters, 0), (QStringList{"", "B", "a", "ab", "b", "\u00e9"}));
}

TEST_F(TableSort, drawsOnePivotPerPartitionInAFixedOrder)
{
    // Worked by hand from state 0: the first draw below 2 is 0, so row 1 is the
    // first pivot; the right part then draws once more.
    auto grid = table({{"c", "1"}, {"a", "2"}, {"b", "3"}});
    grid->Column(0).setSorted(true);
    EXPECT_EQ(column(*grid, 1), (QStringList{"2", "3", "1"}));
    EXPECT_EQ(RandomState(), stateAfterDraws(0, 2));

    // Equal keys: the order follows the exchanges, not the original order.
    RandomState() = 0;
    auto equal = table({{"x", "1"}, {"x", "2"}, {"x", "3"}});
    equal->Column(0).setSorted(true);
    EXPECT_EQ(column(*equal, 1), (QStringList{"3", "1", "2"}));
    EXPECT_EQ(RandomState(), stateAfterDraws(0, 2));

    // Empty and one-row tables draw nothing.
    RandomState() = 0;
    table({})->Column(0).setSorted(true);
    table({{"z", "1"}})->Column(0).setSorted(true);
    EXPECT_EQ(RandomState(), 0u);
}

TEST_F(TableSort, descendingAndReversal)
{
    auto grid = table({{"b", "1"}, {"d", "2"}, {"a", "3"}, {"c", "4"}, {"e", "5"}});
    auto &key = grid->Column(0);
    key.setSorted(true);
    EXPECT_EQ(column(*grid, 0), (QStringList{"a", "b", "c", "d", "e"}));

    // Flipping the kind right after a sort reverses without a single draw.
    const std::uint32_t before = RandomState();
    key.setSortKind(skDescending);
    EXPECT_EQ(column(*grid, 0), (QStringList{"e", "d", "c", "b", "a"}));
    EXPECT_EQ(RandomState(), before);

    // The same kind again sorts afresh and draws.
    key.setSorted(true);
    EXPECT_NE(RandomState(), before);
    EXPECT_EQ(column(*grid, 0), (QStringList{"e", "d", "c", "b", "a"}));
}

TEST_F(TableSort, headerClicksOnTheResultTable)
{
    auto grid = makeResultGrid(nullptr);
    const QStringList sizes{"300 B", "1 KB", "20 B"};
    for (const QString &s : sizes) {
        const int r = grid->AppendRows(1);
        grid->CellAt(QStringLiteral("Size"), r).setText(s);
        grid->CellAt(QStringLiteral("Dest"), r).setText(QStringLiteral("/p/") + s);
    }
    grid->SelectCell(1, 0); // "300 B"
    // Size is the sorted column from the start, so the first click sorts descending.
    grid->HeaderClick(colSize);
    EXPECT_EQ(column(*grid, colSize), (QStringList{"300 B", "20 B", "1 KB"}));
    EXPECT_EQ(grid->SelectedRowIndex(), 0);
    grid->HeaderClick(colSize);
    EXPECT_EQ(column(*grid, colSize), (QStringList{"1 KB", "20 B", "300 B"}));
    EXPECT_EQ(grid->SelectedRowIndex(), 2);

    // Appended rows stay at the end; the next click sorts afresh instead of reversing.
    const int r = grid->AppendRows(1);
    grid->CellAt(QStringLiteral("Size"), r).setText(QStringLiteral("0 B"));
    EXPECT_EQ(grid->CellAt(colSize, 3).text(), QStringLiteral("0 B"));
    grid->HeaderClick(colSize);
    EXPECT_EQ(column(*grid, colSize), (QStringList{"300 B", "20 B", "1 KB", "0 B"}));

    // Another header sorts ascending by that column.
    grid->CellAt(QStringLiteral("Del"), 1).setBoolean(true);
    grid->HeaderClick(colDel);
    EXPECT_TRUE(grid->CellAt(QStringLiteral("Del"), 3).asBoolean());
    EXPECT_FALSE(grid->Column(colSize).Sorted());
}
