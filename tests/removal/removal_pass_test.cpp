#include "app/random_generator.h"
#include "platform/path_text.h"
#include "removal/removal_pass.h"
#include "support/temp_tree.h"
#include "table/data_grid.h"
#include "trash_home.h"

#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace quillmere;
using quillmere::test::TempTree;
using quillmere::test::TrashHome;

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

    // A result row as the search leaves it, with what the search saw of the file.
    std::string addRow(const std::string &name, bool marked, const std::string &content = "duplicate",
                       bool seenBySearch = true)
    {
        const std::string path = tree.writeFile(name, content);
        const int row = grid.AppendRows(1);
        grid.CellAt(QStringLiteral("Dest"), row).setText(pathToText(path));
        grid.CellAt(QStringLiteral("Del"), row).setBoolean(marked);
        if (seenBySearch) {
            seen.remember(pathToText(path), *SeenFileAt(path));
        }
        return path;
    }

    QStringList run()
    {
        view.report.clear();
        RemoveMarkedFiles(grid, view, seen.lookup());
        return view.report;
    }

    static QString heading(RemovalMethod method) { return RemovalHeading(method); }

    TempTree tree;
    TDataGrid grid {QStringLiteral("DataGrid1")};
    SeenFileRecord seen;
    FakeRemovalView view;
};

const RemovalMethod kBothMethods[] = {RemovalMethod::RecycleBin, RemovalMethod::HardDrive};

} // namespace

TEST_F(RemovalPass, headingsAreTheMethodsOwn)
{
    EXPECT_EQ(RemovalHeading(RemovalMethod::RecycleBin), QStringLiteral("Next files removed to the Recycle bin:"));
    EXPECT_EQ(RemovalHeading(RemovalMethod::HardDrive), QStringLiteral("Next files removed from the Hard drive:"));
}

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

TEST_F(RemovalPass, recycleBinListsEachTrashedFileInRowOrder)
{
    const std::string a = addRow("a.jpg", true);
    const std::string kept = addRow("kept.jpg", false);
    const std::string odd = addRow("\xe9t\xe9.jpg", true); // Latin-1 bytes, not UTF-8
    EXPECT_EQ(run(), (QStringList {heading(RemovalMethod::RecycleBin), pathToText(a), pathToText(odd)}));
    EXPECT_FALSE(TempTree::exists(a));
    EXPECT_FALSE(TempTree::exists(odd));
    EXPECT_TRUE(TempTree::exists(kept));
    EXPECT_TRUE(TrashHome::instance().trashedCopyOf(a).has_value());
    EXPECT_TRUE(TrashHome::instance().trashedCopyOf(odd).has_value());
}

TEST_F(RemovalPass, hardDriveOverwritesEveryMarkedFileAndListsItWhenGone)
{
    const std::string empty = addRow("empty.jpg", true, "");
    const std::string big = addRow("big.jpg", true, std::string(10000, 'b'));
    const std::string odd = addRow("\xff.jpg", true, "odd");
    view.method = RemovalMethod::HardDrive;
    RandomState() = 0;
    EXPECT_EQ(run(), (QStringList {heading(RemovalMethod::HardDrive), pathToText(empty), pathToText(big),
                                   pathToText(odd)}));
    EXPECT_FALSE(TempTree::exists(empty) || TempTree::exists(big) || TempTree::exists(odd));
    EXPECT_EQ(TrashHome::instance().entryCount(), 0);
    // Three blocks of 4096 bytes for each of the three files, empty or not.
    std::uint32_t expected = 0;
    for (int i = 0; i < 3 * 3 * 4096; ++i) {
        expected = expected * 134775813u + 1u;
    }
    EXPECT_EQ(RandomState(), expected);
}

TEST_F(RemovalPass, vanishedFileIsSkippedAndLaterRowsStillHandled)
{
    for (const RemovalMethod method : kBothMethods) {
        const std::string vanished = addRow("vanished.jpg", true);
        const std::string later = addRow("later.jpg", true);
        ASSERT_EQ(unlink(vanished.c_str()), 0);
        view.method = method;
        EXPECT_EQ(run(), (QStringList {heading(method), pathToText(later)}));
        EXPECT_FALSE(TempTree::exists(later));
        grid.RemoveAllRows();
    }
}

TEST_F(RemovalPass, everyCopyOfASetMarkedIsRemovedAndASecondPassListsNothing)
{
    for (const RemovalMethod method : kBothMethods) {
        const std::string first = addRow(method == RemovalMethod::HardDrive ? "1.jpg" : "r1.jpg", true);
        const std::string second = addRow(method == RemovalMethod::HardDrive ? "2.jpg" : "r2.jpg", true);
        view.method = method;
        EXPECT_EQ(run(), (QStringList {heading(method), pathToText(first), pathToText(second)}));
        EXPECT_FALSE(TempTree::exists(first) || TempTree::exists(second));
        // The marks stay; the same rows again find nothing to remove.
        EXPECT_EQ(run(), QStringList {heading(method)});
        EXPECT_EQ(view.positions.back(), 1);
        grid.RemoveAllRows();
    }
}

TEST_F(RemovalPass, filesChangedOrReplacedSinceTheSearchAreLeftAlone)
{
    for (const RemovalMethod method : kBothMethods) {
        const std::string prefix = method == RemovalMethod::HardDrive ? "h-" : "r-";
        const std::string edited = addRow(prefix + "edited.jpg", true, "original");
        const std::string target = tree.writeFile(prefix + "target.jpg", "target");
        const std::string linked = addRow(prefix + "linked.jpg", true);
        const std::string fifo = addRow(prefix + "fifo.jpg", true);
        const std::string folder = addRow(prefix + "folder.jpg", true);
        const std::string unknown = addRow(prefix + "unknown.jpg", true, "duplicate", false);
        const std::string last = addRow(prefix + "last.jpg", true);

        tree.writeFile(prefix + "edited.jpg", "edited, longer");
        ASSERT_EQ(unlink(linked.c_str()), 0);
        tree.makeSymlink(prefix + "linked.jpg", target);
        ASSERT_EQ(unlink(fifo.c_str()), 0);
        tree.makeFifo(prefix + "fifo.jpg");
        ASSERT_EQ(unlink(folder.c_str()), 0);
        tree.makeFolder(prefix + "folder.jpg");

        view.method = method;
        EXPECT_EQ(run(), (QStringList {heading(method), pathToText(last)}));
        EXPECT_EQ(TempTree::readFile(edited), "edited, longer");
        EXPECT_EQ(TempTree::readFile(target), "target");
        EXPECT_EQ(TempTree::readFile(unknown), "duplicate");
        EXPECT_TRUE(TempTree::exists(linked) && TempTree::exists(fifo) && TempTree::exists(folder));
        grid.RemoveAllRows();
    }
}

TEST_F(RemovalPass, methodIsLookedUpAgainForEveryMarkedRow)
{
    const std::string recycled = addRow("recycled.jpg", true);
    const std::string overwritten = addRow("overwritten.jpg", true);
    // The user switches to the hard drive while the first row's messages run.
    view.onMessages = [&](int pump) {
        if (pump == 1) {
            view.method = RemovalMethod::HardDrive;
        }
    };
    EXPECT_EQ(run(), (QStringList {heading(RemovalMethod::RecycleBin), pathToText(recycled),
                                   pathToText(overwritten)}));
    EXPECT_TRUE(TrashHome::instance().trashedCopyOf(recycled).has_value());
    EXPECT_FALSE(TrashHome::instance().trashedCopyOf(overwritten).has_value());
    EXPECT_FALSE(TempTree::exists(overwritten));
}

TEST_F(RemovalPass, tableEmptiedDuringThePassEndsItSilently)
{
    const std::string first = addRow("first.jpg", true);
    const std::string second = addRow("second.jpg", true);
    // A new search started from the message pump empties the result table.
    view.onMessages = [&](int pump) {
        if (pump == 1) {
            grid.RemoveAllRows();
        }
    };
    EXPECT_NO_THROW(EXPECT_EQ(run(), (QStringList {heading(RemovalMethod::RecycleBin), pathToText(first)})));
    EXPECT_TRUE(TempTree::exists(second));
}
