#include "platform/folder_set.h"
#include "platform/path_text.h"
#include "review/keep_one.h"
#include "review/keep_rules.h"
#include "review/marking.h"
#include "search/found_files.h"
#include "support/temp_tree.h"
#include "table/program_tables.h"

#include <gtest/gtest.h>

using namespace quillmere;
using quillmere::test::TempTree;

namespace {

// Rows of two sets of copies as a search leaves them, with what the search
// read of each file, and a third set alike in every way a rule weighs.
class KeepRuleMarks : public ::testing::Test {
protected:
    struct Copy {
        std::string name;
        std::int64_t modified;
        std::int64_t bytes;
        const char *resolution;
    };

    void SetUp() override
    {
        tree.makeFolder("keep");
        tree.makeFolder("keep/deeper");
        addSet(1, {{"b-middle-aged.jpg", 200, 500, "30 X 20"},
                   {"keep/deeper/c-old.jpg", 100, 400, "64 X 48"},
                   {"a-new-and-big.jpg", 300, 900, "bad"},
                   {"d.jpg", 250, 100, "10 X 10"}});
        addSet(2, {{"keep/e.jpg", 500, 50, "8 X 8"}, {"f.jpg", 400, 60, "16 X 16"}});
        addSet(3, {{"g1.jpg", 7, 7, "7 X 7"}, {"g2.jpg", 7, 7, "7 X 7"}});
    }
    void addSet(int group, const std::vector<Copy> &copies)
    {
        std::vector<FoundFileRecord::Member> members;
        for (const Copy &copy : copies) {
            const QString path = pathToText(tree.path(copy.name));
            const int row = grid->AppendRows(1);
            grid->CellAt(QStringLiteral("Dest"), row).setText(path);
            grid->CellAt(QStringLiteral("Res"), row).setText(QString::fromLatin1(copy.resolution));
            grid->CellAt(QStringLiteral("Group"), row).setInteger(group);
            FoundFileRecord::Member member {path, {}};
            member.file.file.modifiedNs = copy.modified;
            member.file.file.size = copy.bytes;
            members.push_back(member);
        }
        found.addSet(std::move(members));
    }
    // Sorted by path, so that no rule's copy is the first of its set by
    // chance of the order the rows were added in.
    void sortByPath(TSortKind kind)
    {
        TGridCustomColumn &dest = *grid->FindColumn(QStringLiteral("Dest"));
        dest.setSortKind(kind);
        dest.setSorted(true);
    }
    // The names of the unmarked rows, in row order.
    std::vector<std::string> unmarked()
    {
        std::vector<std::string> names;
        for (int row = 0; row < grid->RowCount(); ++row) {
            if (!grid->CellAt(QStringLiteral("Del"), row).asBoolean()) {
                const std::string path = textToPath(grid->CellAt(QStringLiteral("Dest"), row).text());
                names.push_back(path.substr(tree.root().size() + 1));
            }
        }
        return names;
    }
    RowLocked lockedNamed(const std::string &name)
    {
        const QString path = pathToText(tree.path(name));
        return [this, path](int row) { return grid->CellAt(QStringLiteral("Dest"), row).text() == path; };
    }

    TempTree tree;
    std::unique_ptr<TDataGrid> grid = makeResultGrid(nullptr);
    FoundFileRecord found;
};

} // namespace

TEST_F(KeepRuleMarks, eachRuleKeepsItsCopyOfEverySetWhateverTheTablesOrder)
{
    sortByPath(skDescending);
    const FolderSet keepFolder({tree.path("keep")});
    const auto keeping = [&](KeepRule rule) {
        MarkEveryRow(*grid, BulkMark::All, {});
        MarkAllButTheKeptCopies(*grid, found, rule, {}, &keepFolder);
        return unmarked();
    };
    // Unmarked rows in the table's order: descending by path. In the third
    // set the copies are alike, so the first in this order stays: g2.
    using Names = std::vector<std::string>;
    EXPECT_EQ(keeping(KeepRule::Oldest), (Names {"keep/deeper/c-old.jpg", "g2.jpg", "f.jpg"}));
    EXPECT_EQ(keeping(KeepRule::Newest), (Names {"keep/e.jpg", "g2.jpg", "a-new-and-big.jpg"}));
    EXPECT_EQ(keeping(KeepRule::HighestResolution), (Names {"keep/deeper/c-old.jpg", "g2.jpg", "f.jpg"}));
    EXPECT_EQ(keeping(KeepRule::Largest), (Names {"g2.jpg", "f.jpg", "a-new-and-big.jpg"}));
    EXPECT_EQ(keeping(KeepRule::ShortestPath), (Names {"g2.jpg", "f.jpg", "d.jpg"}));
    // The first copy inside the folder stays; a set without one keeps all.
    EXPECT_EQ(keeping(KeepRule::InsideFolder),
              (Names {"keep/e.jpg", "keep/deeper/c-old.jpg", "g2.jpg", "g1.jpg"}));
    EXPECT_EQ(KeepRules().size(), 6u);
}

TEST_F(KeepRuleMarks, tiesFallBackToTheCurrentOrderBothWays)
{
    for (const TSortKind kind : {skAscending, skDescending}) {
        sortByPath(kind);
        MarkAllButTheKeptCopies(*grid, found, KeepRule::Largest, {});
        const std::vector<std::string> kept = unmarked();
        const std::string tied = kind == skAscending ? "g1.jpg" : "g2.jpg";
        EXPECT_NE(std::find(kept.begin(), kept.end(), tied), kept.end()) << kind;
        EXPECT_EQ(kept.size(), 3u);
    }
}

TEST_F(KeepRuleMarks, aLockedRowIsNeverMarkedAndStaysBesideTheKeptCopy)
{
    sortByPath(skAscending);
    const RowLocked locked = lockedNamed("d.jpg");
    const FolderSet top({tree.root()});
    const auto lockedMarked = [&] {
        const std::vector<std::string> kept = unmarked();
        return std::find(kept.begin(), kept.end(), "d.jpg") == kept.end();
    };
    MarkEveryRow(*grid, BulkMark::All, locked);
    EXPECT_FALSE(lockedMarked());
    EXPECT_EQ(unmarked().size(), 1u);
    MarkEveryRow(*grid, BulkMark::None, locked);
    MarkEveryRow(*grid, BulkMark::Invert, locked);
    EXPECT_FALSE(lockedMarked());
    MarkAllButOneInEachSet(*grid, locked);
    EXPECT_FALSE(lockedMarked());
    MarkAllButTheBestCopies(*grid, found, locked);
    EXPECT_FALSE(lockedMarked());
    MarkEveryRowInside(*grid, top, locked);
    EXPECT_EQ(unmarked(), std::vector<std::string> {"d.jpg"});
    for (const KeepRuleInfo &info : KeepRules()) {
        MarkAllButTheKeptCopies(*grid, found, info.rule, locked, &top);
        EXPECT_FALSE(lockedMarked()) << info.caption.toStdString();
    }
    // Kept by the rule and locked: the set's other copies are marked.
    MarkAllButTheKeptCopies(*grid, found, KeepRule::ShortestPath, locked);
    EXPECT_EQ(unmarked(), (std::vector<std::string> {"d.jpg", "f.jpg", "g1.jpg"}));
    // Another copy kept by the rule: the locked one stays as well.
    MarkAllButTheKeptCopies(*grid, found, KeepRule::Oldest, locked);
    EXPECT_EQ(unmarked(), (std::vector<std::string> {"d.jpg", "f.jpg", "g1.jpg", "keep/deeper/c-old.jpg"}));
}
