#include "platform/path_text.h"
#include "removal/removal_pass.h"
#include "search/found_files.h"
#include "support/temp_tree.h"
#include "table/data_grid.h"
#include "found_now.h"
#include "recording_removal_view.h"
#include "trash_home.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace quillmere;
using quillmere::test::RecordingRemovalView;
using quillmere::test::TempTree;
using quillmere::test::TrashHome;
using quillmere::test::foundNow;

namespace {

// A removal pass handed files of a protected folder as marked, as a fault
// elsewhere might hand them: it must refuse each of them.
class ProtectedRemoval : public ::testing::TestWithParam<RemovalMethod> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TrashHome::instance().usedByGio()) << "GIO reads another home; nothing may be trashed";
        TrashHome::instance().empty();
        grid.addColumn<TGridTextColumn>(QStringLiteral("Dest"));
        grid.addColumn<TGridCheckBoxColumn>(QStringLiteral("Del"));
        tree.makeFolder("archive");
        tree.makeFolder("archive/2019");
        tree.makeFolder("archived"); // begins like the protected folder, is not it
        ASSERT_EQ(::symlink(tree.path("archive").c_str(), tree.path("shortcut").c_str()), 0);
    }

    // A row of the set being built; `reachedAs` is the path the row names,
    // when it differs from where the file was written.
    std::string addRow(const std::string &name, bool marked, const std::string &reachedAs = {})
    {
        tree.writeFile(name, "the same bytes");
        const std::string path = tree.path(reachedAs.empty() ? name : reachedAs);
        const int row = grid.AppendRows(1);
        grid.CellAt(QStringLiteral("Dest"), row).setText(pathToText(path));
        grid.CellAt(QStringLiteral("Del"), row).setBoolean(marked);
        members.push_back({pathToText(path), foundNow(path)});
        return path;
    }

    RemovalPlan plan(const std::vector<std::string> &protectedFolders)
    {
        found.addSet(std::move(members));
        members.clear();
        RemovalPlan planned = PlanRemoval(grid, found, GetParam());
        planned.protectedFolders = FolderSet(protectedFolders);
        return planned;
    }
    static QString refused(const std::string &path)
    {
        return ShownPath(path) + QStringLiteral(" \u2014 kept: it is inside a protected folder");
    }

    TempTree tree;
    TDataGrid grid {QStringLiteral("DataGrid1")};
    FoundFileRecord found;
    std::vector<FoundFileRecord::Member> members;
    RecordingRemovalView view;
};

} // namespace

TEST_P(ProtectedRemoval, markedFilesOfAProtectedFolderStayAndCountAsTheKeptCopy)
{
    // Every copy marked, one of them in a subfolder of the protected folder
    // and one reached through a link to it: those two stay, and because they
    // stay the others go without any question of losing the last copy.
    const std::string deep = addRow("archive/2019/a.jpg", true);
    const std::string linked = addRow("archive/b.jpg", true, "shortcut/b.jpg");
    const std::string lookAlike = addRow("archived/c.jpg", true);
    const std::string loose = addRow("d.jpg", true);
    const RemovalPlan planned = plan({tree.path("archive")});
    EXPECT_TRUE(SetsLosingEveryCopy(planned).empty());

    RemoveMarkedFiles(planned, view);
    EXPECT_TRUE(TempTree::exists(deep));
    EXPECT_TRUE(TempTree::exists(linked));
    EXPECT_FALSE(TempTree::exists(lookAlike));
    EXPECT_FALSE(TempTree::exists(loose));
    EXPECT_TRUE(view.report.contains(ShownPath(lookAlike)));
    EXPECT_TRUE(view.report.contains(ShownPath(loose)));
    EXPECT_TRUE(view.report.contains(QStringLiteral("2 marked files were not removed:")));
    EXPECT_TRUE(view.report.contains(refused(deep)));
    EXPECT_TRUE(view.report.contains(refused(linked)));
}

TEST_P(ProtectedRemoval, aFolderProtectedThroughALinkIsKnownByWhatItIs)
{
    // The user named the folder by a link; the rows name it by its real path.
    const std::string real = addRow("archive/a.jpg", true);
    const std::string other = addRow("b.jpg", false);
    RemoveMarkedFiles(plan({tree.path("shortcut")}), view);
    EXPECT_TRUE(TempTree::exists(real));
    EXPECT_TRUE(TempTree::exists(other));
    EXPECT_TRUE(view.report.contains(refused(real)));
}

TEST_P(ProtectedRemoval, withoutAnotherCopyAProtectedSetStillLosesNothing)
{
    // Without protected folders the same marks would lose the set's last copy.
    const std::string a = addRow("archive/a.jpg", true);
    const std::string b = addRow("archive/b.jpg", true);
    RemovalPlan planned = plan({tree.path("archive")});
    EXPECT_TRUE(SetsLosingEveryCopy(planned).empty());
    planned.everyCopyConfirmed = {0};
    RemoveMarkedFiles(planned, view);
    EXPECT_TRUE(TempTree::exists(a) && TempTree::exists(b));
    planned.protectedFolders = FolderSet();
    EXPECT_EQ(SetsLosingEveryCopy(planned), std::vector<int> {0});
}

INSTANTIATE_TEST_SUITE_P(BothMethods, ProtectedRemoval,
                         ::testing::Values(RemovalMethod::RecycleBin, RemovalMethod::HardDrive),
                         [](const ::testing::TestParamInfo<RemovalMethod> &info) {
                             return info.param == RemovalMethod::RecycleBin ? "RecycleBin" : "HardDrive";
                         });
