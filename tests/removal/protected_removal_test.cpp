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
using quillmere::test::TempTree;
using quillmere::test::TrashHome;

namespace {
class ProtectedRemoval : public ::testing::TestWithParam<RemovalMethod> {};
} // namespace

// Every copy of a set handed to the pass as marked, as a fault elsewhere might
// hand it: the copies inside the protected folder (in a subfolder of it, or
// reached through a link to it) are refused and count as the copies that
// stay, so the others go with no question of losing the last copy. A folder
// whose name merely begins like the protected one is not protected. With
// hard links, the others become links to a protected copy.
TEST_P(ProtectedRemoval, refusesProtectedFilesWhateverIsMarkedAndCountsThemAsKept)
{
    ASSERT_TRUE(TrashHome::instance().usedByGio()) << "GIO reads another home; nothing may be trashed";
    TrashHome::instance().empty();
    TempTree tree;
    for (const char *folder : {"archive", "archive/2019", "archived"}) {
        tree.makeFolder(folder);
    }
    ASSERT_EQ(::symlink(tree.path("archive").c_str(), tree.path("shortcut").c_str()), 0);
    TDataGrid grid {QStringLiteral("DataGrid1")};
    grid.addColumn<TGridTextColumn>(QStringLiteral("Dest"));
    grid.addColumn<TGridCheckBoxColumn>(QStringLiteral("Del"));
    std::vector<FoundFileRecord::Member> members;
    const auto addMarked = [&](const std::string &name, const std::string &reachedAs) {
        tree.writeFile(name, "the same bytes");
        const std::string path = tree.path(reachedAs);
        const int row = grid.AppendRows(1);
        grid.CellAt(QStringLiteral("Dest"), row).setText(pathToText(path));
        grid.CellAt(QStringLiteral("Del"), row).setBoolean(true);
        members.push_back({pathToText(path), test::foundNow(path)});
        return path;
    };
    const std::string deep = addMarked("archive/2019/a.jpg", "archive/2019/a.jpg");
    const std::string linked = addMarked("archive/b.jpg", "shortcut/b.jpg");
    const std::string lookAlike = addMarked("archived/c.jpg", "archived/c.jpg");
    const std::string loose = addMarked("d.jpg", "d.jpg");
    FoundFileRecord found;
    found.addSet(std::move(members));

    RemovalPlan plan = PlanRemoval(grid, found, GetParam());
    EXPECT_EQ(SetsLosingEveryCopy(plan), std::vector<int> {0});
    plan.protectedFolders = FolderSet({tree.path("archive")});
    EXPECT_TRUE(SetsLosingEveryCopy(plan).empty());
    const RemovalSummary summary = SummarizeRemoval(plan);
    EXPECT_EQ(std::make_pair(summary.files, summary.bytes), std::make_pair(2, std::int64_t {28}));
    test::RecordingRemovalView view;
    RemoveMarkedFiles(plan, view);

    EXPECT_TRUE(TempTree::exists(deep) && TempTree::exists(linked));
    const bool links = GetParam() == RemovalMethod::HardLinks;
    EXPECT_EQ(TempTree::exists(lookAlike) && TempTree::exists(loose), links);
    const QString linkedTo = links ? QStringLiteral(" \u2014 replaced by a link to ") + ShownPath(deep) : QString();
    const QString refusal = QStringLiteral(" \u2014 kept: it is inside a protected folder");
    EXPECT_EQ(test::WithoutSpaceFreed(view.report).mid(1),
              (QStringList {ShownPath(lookAlike) + linkedTo, ShownPath(loose) + linkedTo, QString(),
                                                QStringLiteral("2 marked files were not removed:"),
                                                ShownPath(deep) + refusal, ShownPath(linked) + refusal}));
}

INSTANTIATE_TEST_SUITE_P(EveryMethod, ProtectedRemoval,
                         ::testing::Values(RemovalMethod::RecycleBin, RemovalMethod::HardDrive,
                                           RemovalMethod::HardLinks),
                         [](const ::testing::TestParamInfo<RemovalMethod> &info) {
                             return info.param == RemovalMethod::RecycleBin ? "RecycleBin"
                                 : info.param == RemovalMethod::HardDrive  ? "HardDrive"
                                                                           : "HardLinks";
                         });
