#include "common/random_generator.h"
#include "platform/path_text.h"
#include "removal/removal_pass.h"
#include "search/found_files.h"
#include "support/temp_tree.h"
#include "table/data_grid.h"
#include "found_now.h"
#include "trash_home.h"

#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace quillmere;
using quillmere::test::TempTree;
using quillmere::test::TrashHome;
using quillmere::test::foundNow;
using quillmere::test::replaceKeepingTimes;

namespace {

class FakeRemovalView : public RemovalView {
public:
    RemovalMethod selectedMethod() const override { return method; }
    void addReportLine(const QString &line) override { report.push_back(line); }
    void setProgressMaximum(int value) override { maximum = value; }
    void setProgressPosition(int value) override { positions.push_back(value); }
    void processMessages() override
    {
        if (onMessages) {
            onMessages(pumps);
        }
        ++pumps;
    }

    RemovalMethod method = RemovalMethod::RecycleBin;
    QStringList report;
    int maximum = -100;
    std::vector<int> positions;
    int pumps = 0;
    std::function<void(int pump)> onMessages;
};

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
        RemoveMarkedFiles(grid, view, found, everyCopyConfirmed);
        return view.report;
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
    FakeRemovalView view;
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
    view.method = RemovalMethod::HardDrive;
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
    EXPECT_EQ(run(), (QStringList {heading(RemovalMethod::RecycleBin), shown(a), shown(odd)}));
    EXPECT_TRUE(shown(odd).endsWith(QStringLiteral("/\\xE9t\\xE9.jpg")));
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
    view.method = RemovalMethod::HardDrive;
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
    for (const RemovalMethod method : kBothMethods) {
        const std::string vanished = addRow("vanished\nline.jpg", true);
        const std::string swapped = addRow("swapped\t.jpg", true);
        const std::string unknown = addRow("unknown.jpg", true, "duplicate", false);
        const std::string later = addRow("later.jpg", true);
        addRow("kept.jpg", false);
        ASSERT_EQ(unlink(vanished.c_str()), 0);
        replaceKeepingTimes(swapped, "elsewise!");
        view.method = method;
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
    for (const RemovalMethod method : kBothMethods) {
        view.method = method;
        // Every copy marked: kept without the confirmation, removed with it.
        const std::string first = addRow("1.jpg", true);
        const std::string second = addRow("2.jpg", true);
        EXPECT_EQ(SetsLosingEveryCopy(grid, found), std::vector<int> {}) << "not yet in the record";
        endSet();
        EXPECT_EQ(SetsLosingEveryCopy(grid, found), std::vector<int> {0});
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
        EXPECT_EQ(SetsLosingEveryCopy(grid, found), std::vector<int> {});
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

TEST_F(RemovalPass, methodIsLookedUpAgainForEveryMarkedRow)
{
    const std::string recycled = addRow("recycled.jpg", true);
    const std::string overwritten = addRow("overwritten.jpg", true);
    addRow("kept.jpg", false);
    // The user switches to the hard drive while the first row's messages run.
    view.onMessages = [&](int pump) {
        if (pump == 1) {
            view.method = RemovalMethod::HardDrive;
        }
    };
    EXPECT_EQ(run(), (QStringList {heading(RemovalMethod::RecycleBin), shown(recycled), shown(overwritten)}));
    EXPECT_TRUE(TrashHome::instance().trashedCopyOf(recycled).has_value());
    EXPECT_FALSE(TrashHome::instance().trashedCopyOf(overwritten).has_value());
    EXPECT_FALSE(TempTree::exists(overwritten));
}

TEST_F(RemovalPass, aSearchStartedDuringThePassEndsIt)
{
    const std::string first = addRow("first.jpg", true);
    const std::string second = addRow("second.jpg", true);
    const std::string third = addRow("third.jpg", true);
    addRow("kept.jpg", false);
    // A new search started from the message pump empties the result table,
    // or empties the record and fills the table anew.
    view.onMessages = [&](int pump) {
        if (pump == 1) {
            grid.RemoveAllRows();
        }
    };
    EXPECT_NO_THROW(EXPECT_EQ(run(), (QStringList {heading(RemovalMethod::RecycleBin), shown(first)})));
    EXPECT_TRUE(TempTree::exists(second) && TempTree::exists(third));

    reset();
    const std::string again = addRow("again.jpg", true);
    addRow("again kept.jpg", false);
    endSet();
    view.onMessages = [&](int) { found.clear(); };
    EXPECT_EQ(run(), QStringList {heading(RemovalMethod::RecycleBin)});
    EXPECT_TRUE(TempTree::exists(again));
}
