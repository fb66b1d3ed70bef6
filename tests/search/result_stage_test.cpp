#include "common/stop_flag.h"
#include "recording_view.h"
#include "search/result_stage.h"
#include "table/program_tables.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace quillmere;

namespace {

class ResultStage : public ::testing::Test {
protected:
    void SetUp() override
    {
        StopFlag = 0;
        results = makeResultGrid(nullptr);
        pairs = makePairGrid();
    }
    void TearDown() override { StopFlag = 1; }

    void addPair(const QString &path, const QString &size)
    {
        const int r = pairs->AppendRows(1);
        pairs->CellAt(0, r).setText(path);
        pairs->CellAt(1, r).setText(size);
    }
    QString cell(const char *column, int row) { return results->CellAt(QString::fromLatin1(column), row).text(); }

    std::unique_ptr<TDataGrid> results;
    std::unique_ptr<TDataGrid> pairs;
    test::RecordingView view;
};

} // namespace

TEST_F(ResultStage, eachRowShowsTheThumbnailItsOwnFileAppended)
{
    for (int i = 0; i < 4; ++i) {
        addPair(QStringLiteral("/nowhere/f%1.jpg").arg(i), QStringLiteral("1025"));
    }
    // Rows append two, none, one and one thumbnails: the list grows 0,1 | - | 2 | 3.
    int next = 0;
    const std::vector<int> appendedPerRow{2, 0, 1, 1};
    std::vector<int> rowsSeen;
    const auto maker = [&](const std::string &, int row) {
        rowsSeen.push_back(row);
        const int appended = appendedPerRow[static_cast<std::size_t>(row)];
        next += appended;
        return appended == 0 ? -1 : next - 1;
    };
    ASSERT_TRUE(FillResultRows(*pairs, *results, 9, {2, 2}, view, maker));
    ASSERT_EQ(results->RowCount(), 4);
    EXPECT_EQ(rowsSeen, (std::vector<int>{0, 1, 2, 3}));
    // Each row's own thumbnail; sets of two and two rows.
    const QStringList priv{"1", "-1", "2", "3"};
    const QStringList group{"1", "1", "2", "2"};
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(cell("Priv", r), priv[r]) << r;
        EXPECT_EQ(cell("Group", r), group[r]) << r;
    }
    EXPECT_EQ(cell("Dest", 2), QStringLiteral("/nowhere/f2.jpg"));
    EXPECT_EQ(cell("Size", 0), QStringLiteral("1.0009765625 KB"));
    // A file that cannot be looked up has the date of the value 0.
    EXPECT_EQ(cell("Date", 0), QStringLiteral("12/30/99"));
    EXPECT_FALSE(results->CellAt(QStringLiteral("Del"), 0).asBoolean());

    EXPECT_EQ(view.only("max"), (std::vector<std::string>{"max 2"}));
    EXPECT_EQ(view.only("label3").back(), "label3 Found files: 9");
    EXPECT_EQ(view.only("label4").back(), "label4 Duplicates: 3");
    EXPECT_EQ(view.only("label1").back(), "label1 File: /nowhere/f3.jpg");
}

TEST_F(ResultStage, stopDuringTheFourthRowsPumpingFinishesThatRowOnly)
{
    for (int i = 0; i < 6; ++i) {
        addPair(QStringLiteral("/nowhere/f%1.jpg").arg(i), QStringLiteral("512"));
    }
    view.onPump = [&] {
        if (view.pumps == 4) {
            StopFlag ^= 1;
        }
    };
    EXPECT_FALSE(FillResultRows(*pairs, *results, 6, {6}, view, {}));
    EXPECT_EQ(results->RowCount(), 4);
    EXPECT_EQ(cell("Dest", 3), QStringLiteral("/nowhere/f3.jpg"));
    EXPECT_EQ(cell("Size", 3), QStringLiteral("512 B"));
    EXPECT_EQ(view.only("label1").back(), "label1 File: /nowhere/f3.jpg");
    EXPECT_EQ(StopFlag, 1);
}

TEST_F(ResultStage, anEmptyPairTableAddsNothingAndKeepsTheProgressMaximum)
{
    EXPECT_TRUE(FillResultRows(*pairs, *results, 0, {}, view, {}));
    EXPECT_EQ(results->RowCount(), 0);
    EXPECT_TRUE(view.only("max").empty());

    addPair(QStringLiteral("/a.png"), QStringLiteral("1048576"));
    addPair(QStringLiteral("/b.png"), QStringLiteral("1048577"));
    EXPECT_TRUE(FillResultRows(*pairs, *results, 2, {2}, view, {}));
    EXPECT_EQ(view.only("max"), (std::vector<std::string>{"max 0"}));
    EXPECT_EQ(cell("Size", 0), QStringLiteral("1024 KB"));
    EXPECT_EQ(cell("Size", 1), QStringLiteral("1.00000095367432 MB"));
    EXPECT_EQ(cell("Priv", 1), QStringLiteral("-1"));
}
