#include "platform/folder_set.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace quillmere;
using quillmere::test::TempTree;

TEST(FolderSet, aFileIsInsideByTheRealFoldersAboveItNotByItsPathText)
{
    TempTree tree;
    for (const char *folder : {"photos", "photos/archive", "photos/archive/2019"}) {
        tree.makeFolder(folder);
    }
    tree.makeFolder("photos/archived");
    tree.makeFolder("elsewhere");
    tree.writeFile("photos/archive/2019/a.jpg", "a");
    ASSERT_EQ(::symlink(tree.path("photos/archive/2019").c_str(), tree.path("elsewhere/link").c_str()), 0);

    // Named with a trailing slash and a detour: the folder, not the text.
    const FolderSet set({tree.path("photos/archive/"), tree.path("photos/archived/../gone")});
    EXPECT_EQ(set.folders(), std::vector<std::string> {tree.path("photos/archive/")});
    EXPECT_EQ(set.missing(), std::vector<std::string> {tree.path("photos/archived/../gone")});

    EXPECT_TRUE(set.holds(tree.path("photos/archive/x.jpg")));
    EXPECT_TRUE(set.holds(tree.path("photos/archive/2019/a.jpg")));
    EXPECT_TRUE(set.holds(tree.path("elsewhere/link/a.jpg")));
    EXPECT_FALSE(set.holds(tree.path("photos/archived/x.jpg")));
    EXPECT_FALSE(set.holds(tree.path("photos/x.jpg")));
    EXPECT_FALSE(set.holds(tree.path("elsewhere/x.jpg")));
    EXPECT_FALSE(set.holds(tree.path("no such folder/x.jpg")));
    EXPECT_FALSE(FolderSet().holds(tree.path("photos/archive/x.jpg")));

    // A folder given through a link protects the real folder.
    const FolderSet linked({tree.path("elsewhere/link")});
    EXPECT_TRUE(linked.holds(tree.path("photos/archive/2019/a.jpg")));
    EXPECT_FALSE(linked.holds(tree.path("photos/archive/a.jpg")));
}
