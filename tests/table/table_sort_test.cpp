#include "common/random_generator.h"
#include "platform/path_text.h"
#include "table/program_tables.h"
#include "table/text_store.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace quillmere;

namespace {

// A two-column table (key, tag) so rows with equal keys can be told apart.
std::unique_ptr<TDataGrid> table(const std::vector<std::pair<QString, QString>> &rows,
                                 TRowStorage storage = TRowStorage::Records)
{
    auto grid = std::make_unique<TDataGrid>(QStringLiteral("T"), goHeader, 16, storage);
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

// The table sort, on row records and on compact rows alike.
class EitherStorage : public TableSort, public ::testing::WithParamInterface<TRowStorage> {
protected:
    std::unique_ptr<TDataGrid> table(const std::vector<std::pair<QString, QString>> &rows)
    {
        return ::table(rows, GetParam());
    }
};

// Keys of every kind a compact row keeps: one-byte texts, 16-bit texts (a
// lone surrogate too) and paths whose bytes are not ASCII, all compared by
// their 16-bit code units.
std::vector<QString> mixedKeys()
{
    return {QStringLiteral("1000"), QStringLiteral("200"),        QStringLiteral("20"),
            QStringLiteral(""),     QStringLiteral("B"),          QStringLiteral("a"),
            QString::fromUtf8("\xc3\xa9"), QString::fromUtf8("\xe4\xb8\xad"), QString(QChar(0xDC80)),
            QString::fromUtf8("\xf0\x9f\x98\x80"), QStringLiteral("\u00ff\u00fe")};
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Storage, EitherStorage, ::testing::Values(TRowStorage::Records, TRowStorage::Compact));

TEST_P(EitherStorage, alphabeticComparesCodeUnitsWithoutLocaleOrCase)
{
    auto numbers = table({{"200", "a"}, {"1000", "b"}, {"30", "c"}});
    numbers->Column(0).setSorted(true);
    EXPECT_EQ(column(*numbers, 0), (QStringList{"1000", "200", "30"}));

    auto letters = table({{"b", ""}, {"B", ""}, {"a", ""}, {"", ""}, {"\u00e9", ""}, {"ab", ""}});
    letters->Column(0).setSorted(true);
    EXPECT_EQ(column(*letters, 0), (QStringList{"", "B", "a", "ab", "b", "\u00e9"}));
}

TEST_P(EitherStorage, drawsOnePivotPerPartitionInAFixedOrder)
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

TEST_P(EitherStorage, descendingAndReversal)
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
    // Sizes as they are shown, and the bytes behind them: as texts they
    // would order 146.48 KB between 14.75 KB and 16.73 KB.
    const std::vector<std::pair<QString, QString>> sizes {
        {"14.75 KB", "15104"}, {"146.48 KB", "149995"}, {"16.73 KB", "17131"}, {"300 B", "300"}};
    const auto append = [&](const QString &shown, const QString &bytes) {
        const int r = grid->AppendRows(1);
        grid->CellAt(QStringLiteral("Size"), r).setText(shown);
        grid->CellAt(QStringLiteral("Bytes"), r).setText(bytes);
        grid->CellAt(QStringLiteral("Dest"), r).setText(QStringLiteral("/p/") + shown);
    };
    for (const auto &[shown, bytes] : sizes) {
        append(shown, bytes);
    }
    grid->SelectCell(1, 0); // "14.75 KB"
    // Size is the sorted column from the start, so the first click sorts descending.
    grid->HeaderClick(colSize);
    EXPECT_EQ(column(*grid, colSize), (QStringList {"146.48 KB", "16.73 KB", "14.75 KB", "300 B"}));
    EXPECT_EQ(grid->SelectedRowIndex(), 2);
    grid->HeaderClick(colSize);
    EXPECT_EQ(column(*grid, colSize), (QStringList {"300 B", "14.75 KB", "16.73 KB", "146.48 KB"}));
    EXPECT_EQ(grid->SelectedRowIndex(), 1);

    // Appended rows stay at the end; the next click sorts afresh instead of reversing.
    append(QStringLiteral("0 B"), QStringLiteral("0"));
    EXPECT_EQ(grid->CellAt(colSize, 4).text(), QStringLiteral("0 B"));
    grid->HeaderClick(colSize);
    EXPECT_EQ(column(*grid, colSize), (QStringList {"146.48 KB", "16.73 KB", "14.75 KB", "300 B", "0 B"}));

    // The hidden candidate table keeps its sort by the size texts.
    auto candidates = makeCandidateGrid();
    for (const auto &[shown, bytes] : sizes) {
        candidates->CellAt(1, candidates->AppendRows(1)).setText(bytes);
    }
    candidates->Column(1).setSorted(true);
    EXPECT_EQ(column(*candidates, 1), (QStringList {"149995", "15104", "17131", "300"}));

    // Another header sorts ascending by that column.
    grid->CellAt(QStringLiteral("Del"), 1).setBoolean(true);
    grid->HeaderClick(colDel);
    EXPECT_TRUE(grid->CellAt(QStringLiteral("Del"), 4).asBoolean());
    EXPECT_FALSE(grid->Column(colSize).Sorted());
}

TEST_F(TableSort, compactRowsSortLikeRowRecordsWithTheSameDrawsAndPumps)
{
    // Thousands of rows of few keys, some paths among them: the same order of
    // rows, the same draws, whether rows are records or compact and whether
    // the window's messages run inside the sort or not.
    const std::vector<QString> keys = mixedKeys();
    auto store = std::make_shared<TextStore>();
    const StoredText oddPath = store->addPath("/p/\xff\xfe.jpg");
    std::vector<std::pair<QString, QString>> rows;
    for (int i = 0; i < 3000; ++i) {
        const QString key = i % 13 == 12 ? oddPath.text() : keys[static_cast<std::size_t>(i * 7 % 11)];
        rows.emplace_back(key, QString::number(i));
    }
    auto records = table(rows, TRowStorage::Records);
    auto compact = table(rows, TRowStorage::Compact);
    for (int r = 12; r < 3000; r += 13) {
        compact->CellAt(0, r).setStoredText(oddPath, {store});
    }
    int pumps = 0;
    compact->whileSorting = [&] { ++pumps; };
    compact->SelectCell(1, 77);

    records->Column(0).setSorted(true);
    const std::uint32_t afterRecords = RandomState();
    RandomState() = 0;
    compact->Column(0).setSorted(true);
    EXPECT_EQ(RandomState(), afterRecords);
    EXPECT_EQ(column(*compact, 1), column(*records, 1));
    EXPECT_EQ(column(*compact, 0), column(*records, 0));
    EXPECT_GE(pumps, 1);
    EXPECT_EQ(compact->CellAt(1, compact->SelectedRowIndex()).text(), QStringLiteral("77"));
    QStringList sorted = column(*records, 0);
    for (int r = 1; r < sorted.size(); ++r) {
        ASSERT_LE(QString::compare(sorted[r - 1], sorted[r], Qt::CaseSensitive), 0) << r;
    }

    // A flip of the kind right after is a reversal.
    compact->Column(0).setSortKind(skDescending);
    EXPECT_EQ(compact->CellAt(1, 0).text(), column(*records, 1).last());
}

TEST_F(TableSort, aSortEndsWhenItsPumpThrowsOrChangesTheTable)
{
    std::vector<std::pair<QString, QString>> rows;
    for (int i = 0; i < 3000; ++i) {
        rows.emplace_back(QString::number(i % 97), QString::number(i));
    }
    for (const TRowStorage storage : {TRowStorage::Records, TRowStorage::Compact}) {
        auto grid = table(rows, storage);
        struct Abandoned { };
        grid->whileSorting = [] { throw Abandoned(); };
        EXPECT_THROW(grid->Column(0).setSorted(true), Abandoned);
        EXPECT_FALSE(grid->MemorySorted());

        // A handler that empties the table inside the sort: the sort stops
        // there, touching no row that is gone.
        grid->whileSorting = [&] { grid->RemoveAllRows(); };
        grid->Column(0).setSorted(true);
        EXPECT_EQ(grid->RowCount(), 0);
        EXPECT_FALSE(grid->MemorySorted());
    }
}

TEST(TextStore, textsKeepTheirCodeUnitsAndPathsTheirBytes)
{
    TextStore store;
    const std::vector<QString> keys = mixedKeys();
    std::vector<StoredText> stored;
    for (const QString &key : keys) {
        stored.push_back(store.add(key));
        EXPECT_EQ(stored.back().text(), key);
        EXPECT_EQ(stored.back().path(), textToPath(key));
    }
    for (const std::string &path : {std::string("/a/b.jpg"), std::string("/a/\xff\xc3(.jpg"),
                                   std::string("/\xc3\xa9/x.jpg")}) {
        stored.push_back(store.addPath(path));
        EXPECT_EQ(stored.back().path(), path);
        EXPECT_EQ(stored.back().text(), pathToText(path));
    }
    // Any two texts compare as their 16-bit code units do, whatever form
    // each is kept in.
    for (const StoredText &a : stored) {
        for (const StoredText &b : stored) {
            const int expected = QString::compare(a.text(), b.text(), Qt::CaseSensitive);
            EXPECT_EQ(a.compare(b), expected < 0 ? -1 : (expected > 0 ? 1 : 0))
                << a.text().toStdString() << " / " << b.text().toStdString();
        }
    }
}

namespace {

// The designed quicksort written out on plain rows, with its own copy of the
// generator: what a sort of the table must match row for row and draw for
// draw, however the table does it.
struct ReferenceSort {
    std::uint32_t state;

    std::uint32_t below(std::uint32_t n)
    {
        state = state * 134775813u + 1u;
        return static_cast<std::uint32_t>((static_cast<std::uint64_t>(state) * n) >> 32);
    }

    // rows: (key, row id); compare(a, b) < 0 when key a sorts before key b.
    template <class Key, class Compare>
    void sort(std::vector<std::pair<Key, int>> &rows, int left, int right, bool ascending, const Compare &compare)
    {
        if (right <= left) {
            return;
        }
        int pivot = left + 1 + static_cast<int>(below(static_cast<std::uint32_t>(right - left)));
        int i = left - 1;
        int j = right + 1;
        const auto exchange = [&] {
            std::swap(rows[i], rows[j]);
            pivot = pivot == i ? j : (pivot == j ? i : pivot);
        };
        const auto before = [&](int a, int b) {
            const int c = compare(rows[a].first, rows[b].first);
            return ascending ? c < 0 : c > 0;
        };
        for (;;) {
            do {
                ++i;
            } while (before(i, pivot));
            do {
                --j;
            } while (before(pivot, j));
            if (i != j) {
                exchange();
            }
            if (i >= j) {
                break;
            }
        }
        if (i != j) {
            exchange();
        }
        sort(rows, left, i - 1, ascending, compare);
        sort(rows, i, right, ascending, compare);
    }
};

TEST_F(TableSort, aHundredThousandResultRowsSortInTheDesignedOrderWithTheDesignedDraws)
{
    constexpr int kRows = 100000;
    auto grid = makeResultGrid(nullptr);
    std::vector<std::pair<double, int>> bySize;
    std::vector<std::pair<bool, int>> byMark;
    for (int row = 0; row < kRows; ++row) {
        // Few distinct sizes, so most keys are shared and the order of equal
        // keys shows every exchange.
        const int r = grid->AppendRows(1);
        const int units = (row * 7919) % 613;
        const double bytes = row % 3 == 0 ? units * 1024.0 : units;
        const bool mark = (row * 31) % 7 < 3;
        grid->CellAt(QStringLiteral("Dest"), r).setText(QString::number(row));
        grid->CellAt(QStringLiteral("Size"), r)
            .setText(QString::number(units) + (row % 3 == 0 ? QStringLiteral(" KB") : QStringLiteral(" B")));
        grid->CellAt(QStringLiteral("Bytes"), r).setText(QString::number(bytes));
        grid->CellAt(QStringLiteral("Del"), r).setBoolean(mark);
        bySize.emplace_back(bytes, row);
    }
    const auto order = [&grid] {
        std::vector<int> ids;
        for (int row = 0; row < grid->RowCount(); ++row) {
            ids.push_back(grid->CellAt(QStringLiteral("Dest"), row).text().toInt());
        }
        return ids;
    };
    const auto idsOf = [](const auto &rows) {
        std::vector<int> ids;
        for (const auto &row : rows) {
            ids.push_back(row.second);
        }
        return ids;
    };
    const auto numbers = [](double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); };
    const auto flags = [](bool a, bool b) { return int(a) - int(b); };

    // Size is the sorted column from the start: the first click sorts
    // descending, by the bytes behind the texts.
    RandomState() = 12345;
    ReferenceSort reference{12345};
    reference.sort(bySize, 0, kRows - 1, false, numbers);
    grid->HeaderClick(colSize);
    ASSERT_EQ(order(), idsOf(bySize));
    EXPECT_EQ(RandomState(), reference.state);

    // A second click reverses without drawing.
    grid->HeaderClick(colSize);
    std::vector<int> reversed = idsOf(bySize);
    std::reverse(reversed.begin(), reversed.end());
    ASSERT_EQ(order(), reversed);
    EXPECT_EQ(RandomState(), reference.state);

    // The marks, ascending, from the rows as they now stand.
    for (int row = 0; row < kRows; ++row) {
        byMark.emplace_back(grid->CellAt(QStringLiteral("Del"), row).asBoolean(), reversed[static_cast<std::size_t>(row)]);
    }
    reference.sort(byMark, 0, kRows - 1, true, flags);
    grid->HeaderClick(colDel);
    ASSERT_EQ(order(), idsOf(byMark));
    EXPECT_EQ(RandomState(), reference.state);
}

} // namespace
