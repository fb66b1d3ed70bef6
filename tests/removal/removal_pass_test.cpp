#include "common/random_generator.h"
#include "platform/path_text.h"
#include "removal/removal_pass.h"
#include "search/found_files.h"
#include "support/temp_tree.h"
#include "table/data_grid.h"
#include "found_now.h"
#include "recording_removal_view.h"
#include "trash_home.h"

#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace quillmere;
using quillmere::test::RecordingRemovalView;
using quillmere::test::TempTree;
using quillmere::test::TrashHome;
using quillmere::test::foundNow;
using quillmere::test::replaceKeepingTimes;

namespace {

class RemovalPass : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TrashHome::instance().usedByGio()) << "GIO reads another home; nothing may be trashed";
        TrashHome::instance().empty();
        grid.addColumn<TGridTextColumn>(QStringLiteral("Dest"));
        grid.addColumn<TGridCheckBoxColumn>(QStringLiteral("Del"));
    }

    // A result row as the search leaves it; the file joins the set being
    // built unless the comparison never saw it.
    std::string addRow(const std::string &name, bool marked, const std::string &content = "duplicate",
                       bool compared = true)
    {
        const std::string path = tree.writeFile(name, content);
        const int row = grid.AppendRows(1);
        grid.CellAt(QStringLiteral("Dest"), row).setText(pathToText(path));
        grid.CellAt(QStringLiteral("Del"), row).setBoolean(marked);
        if (compared) {
            pending.push_back({pathToText(path), foundNow(path)});
        }
        return path;
    }
    // Closes the set of identical files built by the rows added since.
    void endSet()
    {
        found.addSet(std::move(pending));
        pending.clear();
    }

    QStringList run(const std::set<int> &everyCopyConfirmed = {})
    {
        if (!pending.empty()) {
            endSet();
        }
        view.report.clear();
        RemovalPlan plan = PlanRemoval(grid, found, method);
        plan.everyCopyConfirmed = everyCopyConfirmed;
        RemoveMarkedFiles(plan, view);
        return test::WithoutSpaceFreed(view.report);
    }
    void reset()
    {
        grid.RemoveAllRows();
        found.clear();
    }

    // The report's first line, worded for each method.
    static QString heading(RemovalMethod method)
    {
        return method == RemovalMethod::HardDrive ? QStringLiteral("Next files removed from the Hard drive:")
                                                  : QStringLiteral("Next files removed to the Recycle bin:");
    }
    static QString shown(const std::string &path) { return ShownPath(path); }
    static QString notRemoved(const std::string &path, const char *reason)
    {
        return ShownPath(path) + QStringLiteral(" \u2014 ") + QString::fromUtf8(reason);
    }

    TempTree tree;
    TDataGrid grid {QStringLiteral("DataGrid1")};
    FoundFileRecord found;
    std::vector<FoundFileRecord::Member> pending;
    RecordingRemovalView view;
    RemovalMethod method = RemovalMethod::RecycleBin;
};

const RemovalMethod kBothMethods[] = {RemovalMethod::RecycleBin, RemovalMethod::HardDrive};

} // namespace

TEST_F(RemovalPass, withoutMarkedRowsOnlyTheHeadingIsWrittenAndNothingTouched)
{
    EXPECT_EQ(run(), QStringList {heading(RemovalMethod::RecycleBin)});
    EXPECT_EQ(view.maximum, -1);
    EXPECT_TRUE(view.positions.empty());

    const std::string a = addRow("a.jpg", false);
    const std::string b = addRow("b.jpg", false);
    const std::string c = addRow("c.jpg", false);
    method = RemovalMethod::HardDrive;
    view.pumps = 0;
    EXPECT_EQ(run(), QStringList {heading(RemovalMethod::HardDrive)});
    EXPECT_EQ(view.maximum, 2);
    EXPECT_EQ(view.positions, (std::vector<int> {0, 1, 2}));
    EXPECT_EQ(view.pumps, 3);
    EXPECT_TRUE(TempTree::exists(a) && TempTree::exists(b) && TempTree::exists(c));
}

TEST_F(RemovalPass, recycleBinListsEachTrashedFileInRowOrderAsPeopleReadIt)
{
    const std::string a = addRow("a.jpg", true);
    const std::string kept = addRow("kept.jpg", false);
    const std::string odd = addRow("\xe9t\xe9.jpg", true); // Latin-1 bytes, not UTF-8
    // A line separator and a zero-width space: one report line, no look-alike.
    const std::string separated = addRow("line\xe2\x80\xa8" "break\xe2\x80\x8b.jpg", true);
    const QStringList report = run();
    EXPECT_EQ(report, (QStringList {heading(RemovalMethod::RecycleBin), shown(a), shown(odd), shown(separated)}));
    EXPECT_TRUE(shown(odd).endsWith(QStringLiteral("/\\xE9t\\xE9.jpg")));
    EXPECT_TRUE(report.last().endsWith(QStringLiteral("/line\\u2028break\\u200b.jpg")));
    EXPECT_FALSE(TempTree::exists(a));
    EXPECT_FALSE(TempTree::exists(odd));
    EXPECT_TRUE(TempTree::exists(kept));
    EXPECT_TRUE(TrashHome::instance().trashedCopyOf(a).has_value());
    EXPECT_TRUE(TrashHome::instance().trashedCopyOf(odd).has_value());
}

TEST_F(RemovalPass, hardDriveOverwritesEveryMarkedFileAndListsItWhenGone)
{
    const std::string empty = addRow("empty.jpg", true, "");
    addRow("empty copy.jpg", false, "");
    endSet();
    const std::string big = addRow("big.jpg", true, std::string(10000, 'b'));
    const std::string odd = addRow("\xff.jpg", true, std::string(10000, 'b'));
    addRow("big copy.jpg", false, std::string(10000, 'b'));
    endSet();
    method = RemovalMethod::HardDrive;
    RandomState() = 0;
    EXPECT_EQ(run(), (QStringList {heading(RemovalMethod::HardDrive), shown(empty), shown(big), shown(odd)}));
    EXPECT_FALSE(TempTree::exists(empty) || TempTree::exists(big) || TempTree::exists(odd));
    EXPECT_EQ(TrashHome::instance().entryCount(), 0);
    // Three blocks of 4096 bytes for each of the three files, empty or not.
    std::uint32_t expected = 0;
    for (int i = 0; i < 3 * 3 * 4096; ++i) {
        expected = expected * 134775813u + 1u;
    }
    EXPECT_EQ(RandomState(), expected);
}

TEST_F(RemovalPass, everyMarkedFileNotRemovedIsListedWithItsReason)
{
    for (const RemovalMethod each : kBothMethods) {
        method = each;
        const std::string vanished = addRow("vanished\nline.jpg", true);
        const std::string swapped = addRow("swapped\t.jpg", true);
        const std::string unknown = addRow("unknown.jpg", true, "duplicate", false);
        const std::string later = addRow("later.jpg", true);
        addRow("kept.jpg", false);
        ASSERT_EQ(unlink(vanished.c_str()), 0);
        replaceKeepingTimes(swapped, "elsewise!");
        EXPECT_EQ(run(), (QStringList {heading(method), shown(later), QString(),
                                       QStringLiteral("3 marked files were not removed:"),
                                       notRemoved(vanished, "no longer exists"),
                                       notRemoved(swapped, "changed since the search"),
                                       notRemoved(unknown, "not among the identical files of this search")}));
        EXPECT_TRUE(shown(vanished).endsWith(QStringLiteral("/vanished\\nline.jpg")));
        EXPECT_TRUE(shown(swapped).endsWith(QStringLiteral("/swapped\\t.jpg")));
        EXPECT_EQ(TempTree::readFile(swapped), "elsewise!");
        EXPECT_EQ(TempTree::readFile(unknown), "duplicate");
        EXPECT_FALSE(TempTree::exists(later));
        reset();
    }
}

TEST_F(RemovalPass, theLastUnchangedCopyOfAContentStaysUnlessRemovingEveryCopyWasConfirmed)
{
    for (const RemovalMethod each : kBothMethods) {
        method = each;
        // Every copy marked: kept without the confirmation, removed with it.
        const std::string first = addRow("1.jpg", true);
        const std::string second = addRow("2.jpg", true);
        EXPECT_EQ(SetsLosingEveryCopy(PlanRemoval(grid, found, method)), std::vector<int> {}) << "not yet in the record";
        endSet();
        EXPECT_EQ(SetsLosingEveryCopy(PlanRemoval(grid, found, method)), std::vector<int> {0});
        const char *lastCopy = "kept: it is the last copy of its content (no unmarked copy is left unchanged)";
        EXPECT_EQ(run(), (QStringList {heading(method), QString(), QStringLiteral("2 marked files were not removed:"),
                                       notRemoved(first, lastCopy), notRemoved(second, lastCopy)}));
        EXPECT_TRUE(TempTree::exists(first) && TempTree::exists(second));
        EXPECT_EQ(run({0}), (QStringList {heading(method), shown(first), shown(second)}));
        EXPECT_FALSE(TempTree::exists(first) || TempTree::exists(second));
        reset();

        // The unmarked copy deleted, or edited, after the search.
        const std::string marked = addRow("marked.jpg", true);
        const std::string deleted = addRow("deleted.jpg", false);
        endSet();
        const std::string marked2 = addRow("marked2.jpg", true);
        const std::string edited = addRow("edited.jpg", false);
        endSet();
        const std::string marked3 = addRow("marked3.jpg", true);
        const std::string standing = addRow("standing.jpg", false);
        EXPECT_EQ(SetsLosingEveryCopy(PlanRemoval(grid, found, method)), std::vector<int> {});
        ASSERT_EQ(unlink(deleted.c_str()), 0);
        tree.writeFile("edited.jpg", "DUPLICATE");
        EXPECT_EQ(run(), (QStringList {heading(method), shown(marked3), QString(),
                                       QStringLiteral("2 marked files were not removed:"),
                                       notRemoved(marked, lastCopy), notRemoved(marked2, lastCopy)}));
        EXPECT_EQ(TempTree::readFile(marked), "duplicate");
        EXPECT_EQ(TempTree::readFile(marked2), "duplicate");
        EXPECT_EQ(TempTree::readFile(standing), "duplicate");
        reset();
    }
}

TEST_F(RemovalPass, whatTheUserDoesWhileThePassRunsChangesNothingItRemoves)
{
    const std::string first = addRow("first.jpg", true);
    const std::string unmarkedLater = addRow("unmarked later.jpg", false);
    const std::string second = addRow("second.jpg", true);
    const std::string kept = addRow("kept.jpg", false);
    endSet();
    const RemovalPlan plan = PlanRemoval(grid, found, RemovalMethod::RecycleBin);
    // While the first row's messages run the user unmarks, marks, sorts
    // and starts a new search that empties the table and the record.
    view.onMessages = [&](int pump) {
        if (pump != 0) {
            return;
        }
        grid.CellAt(QStringLiteral("Del"), 2).setBoolean(false);
        grid.CellAt(QStringLiteral("Del"), 1).setBoolean(true);
        grid.CellAt(QStringLiteral("Del"), 3).setBoolean(true);
        grid.FindColumn(QStringLiteral("Dest"))->setSorted(true);
        grid.RemoveAllRows();
        found.clear();
    };
    RemoveMarkedFiles(plan, view);
    EXPECT_EQ(test::WithoutSpaceFreed(view.report),
              (QStringList {heading(RemovalMethod::RecycleBin), shown(first), shown(second)}));
    EXPECT_EQ(view.positions, (std::vector<int> {0, 1, 2, 3}));
    EXPECT_TRUE(TrashHome::instance().trashedCopyOf(first).has_value());
    EXPECT_TRUE(TrashHome::instance().trashedCopyOf(second).has_value());
    EXPECT_TRUE(TempTree::exists(unmarkedLater) && TempTree::exists(kept));
    EXPECT_EQ(TrashHome::instance().entryCount(), 2);
}

TEST_F(RemovalPass, aCopyReachedByAnotherPathOfTheMarkedFileKeepsNothing)
{
    // The record holds one file under two paths, as a folder swapped for a
    // link to its twin would show it: the second path is no surviving copy.
    tree.makeFolder("x");
    const std::string marked = tree.writeFile("x/a.jpg", "duplicate");
    tree.makeSymlink("y", "x");
    const std::string viaLink = tree.path("y/a.jpg");
    for (const RemovalMethod each : kBothMethods) {
        method = each;
        const int row = grid.AppendRows(2);
        grid.CellAt(QStringLiteral("Dest"), row - 1).setText(pathToText(marked));
        grid.CellAt(QStringLiteral("Del"), row - 1).setBoolean(true);
        grid.CellAt(QStringLiteral("Dest"), row).setText(pathToText(viaLink));
        const FoundFile file = foundNow(marked);
        found.addSet({{pathToText(marked), file}, {pathToText(viaLink), file}});
        EXPECT_EQ(run(), (QStringList {heading(each), QString(), QStringLiteral("1 marked file was not removed:"),
                                       notRemoved(marked, "kept: it is the last copy of its content (no unmarked "
                                                          "copy is left unchanged)")}));
        EXPECT_EQ(TempTree::readFile(marked), "duplicate");
        reset();
    }
}
