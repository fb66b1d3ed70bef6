#include "platform/folder_set.h"
#include "platform/path_text.h"
#include "review/keep_rules.h"
#include "search/found_files.h"
#include "support/temp_tree.h"
#include "table/program_tables.h"

#include <gtest/gtest.h>

using namespace quillmere;
using quillmere::test::TempTree;

namespace {

// Three sets as a search leaves them, with what it read of each file; the
// copies of the third are alike in everything a rule weighs.
class KeepRuleMarks : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.makeFolder("keep");
        tree.makeFolder("keep/deeper");
        keepFolder = FolderSet({tree.path("keep")});
        addSet({{"b-middle-aged.jpg", 200, 500, "30 X 20"}, {"keep/deeper/c-old.jpg", 100, 400, "64 X 48"},
                {"a-new-and-big.jpg", 300, 900, "none"}, {"d.jpg", 250, 100, "10 X 10"}});
        addSet({{"keep/e.jpg", 500, 50, "8 X 8"}, {"f.jpg", 400, 60, "16 X 16"}});
        addSet({{"g1.jpg", 7, 7, "7 X 7"}, {"g2.jpg", 7, 7, "7 X 7"}});
    }
    struct Copy {
        const char *name;
        std::int64_t modified, bytes;
        const char *resolution;
    };
    void addSet(const std::vector<Copy> &copies)
    {
        std::vector<FoundFileRecord::Member> members;
        for (const Copy &copy : copies) {
            const QString path = pathToText(tree.path(copy.name));
            const int row = grid->AppendRows(1);
            grid->CellAt(QStringLiteral("Dest"), row).setText(path);
            grid->CellAt(QStringLiteral("Res"), row).setText(QString::fromLatin1(copy.resolution));
            grid->CellAt(QStringLiteral("Group"), row).setInteger(found.setCount());
            members.push_back({path, {}});
            members.back().file.file.modifiedNs = copy.modified;
            members.back().file.file.size = copy.bytes;
        }
        found.addSet(std::move(members));
    }
    // Sorted by path, so that the order of adding picks no copy by chance.
    std::vector<std::string> keptAfter(KeepRule rule, TSortKind order, const RowLocked &locked = {})
    {
        TGridCustomColumn &dest = *grid->FindColumn(QStringLiteral("Dest"));
        dest.setSortKind(order);
        dest.setSorted(true);
        MarkEveryRow(*grid, BulkMark::All, {});
        MarkAllButTheKeptCopies(*grid, found, rule, locked, &keepFolder);
        std::vector<std::string> names; // unmarked, in row order
        for (int row = 0; row < grid->RowCount(); ++row) {
            if (!grid->CellAt(QStringLiteral("Del"), row).asBoolean()) {
                names.push_back(textToPath(grid->CellAt(QStringLiteral("Dest"), row).text()).substr(tree.root().size() + 1));
            }
        }
        return names;
    }

    TempTree tree;
    std::unique_ptr<TDataGrid> grid = makeResultGrid(nullptr);
    FoundFileRecord found;
    FolderSet keepFolder;
};

using Names = std::vector<std::string>;

} // namespace

TEST_F(KeepRuleMarks, eachRuleKeepsItsCopyOfEverySetAndTiesKeepTheFirstInTheCurrentOrder)
{
    EXPECT_EQ(keptAfter(KeepRule::Oldest, skDescending), (Names {"keep/deeper/c-old.jpg", "g2.jpg", "f.jpg"}));
    EXPECT_EQ(keptAfter(KeepRule::Newest, skDescending), (Names {"keep/e.jpg", "g2.jpg", "a-new-and-big.jpg"}));
    EXPECT_EQ(keptAfter(KeepRule::HighestResolution, skDescending), (Names {"keep/deeper/c-old.jpg", "g2.jpg", "f.jpg"}));
    EXPECT_EQ(keptAfter(KeepRule::Largest, skDescending), (Names {"g2.jpg", "f.jpg", "a-new-and-big.jpg"}));
    EXPECT_EQ(keptAfter(KeepRule::Largest, skAscending), (Names {"a-new-and-big.jpg", "f.jpg", "g1.jpg"}));
    EXPECT_EQ(keptAfter(KeepRule::ShortestPath, skDescending), (Names {"g2.jpg", "f.jpg", "d.jpg"}));
    // The first copy inside the folder, or below it, stays; a set without
    // one is left unmarked.
    EXPECT_EQ(keptAfter(KeepRule::InsideFolder, skDescending),
              (Names {"keep/e.jpg", "keep/deeper/c-old.jpg", "g2.jpg", "g1.jpg"}));
}

// A locked row (a protected file) is never marked: kept by the rule, the
// set's other copies go; another copy kept, it stays beside that one.
TEST_F(KeepRuleMarks, aLockedRowIsNeverMarkedAndStaysBesideTheKeptCopy)
{
    const QString lockedPath = pathToText(tree.path("d.jpg"));
    const RowLocked locked = [&](int row) { return grid->CellAt(QStringLiteral("Dest"), row).text() == lockedPath; };
    for (const KeepRuleInfo &info : KeepRules()) {
        const Names kept = keptAfter(info.rule, skAscending, locked);
        EXPECT_NE(std::find(kept.begin(), kept.end(), "d.jpg"), kept.end()) << info.caption.toStdString();
    }
    EXPECT_EQ(keptAfter(KeepRule::Oldest, skAscending, locked), (Names {"d.jpg", "f.jpg", "g1.jpg", "keep/deeper/c-old.jpg"}));
    EXPECT_EQ(keptAfter(KeepRule::ShortestPath, skAscending, locked), (Names {"d.jpg", "f.jpg", "g1.jpg"}));
}
