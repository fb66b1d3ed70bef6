#include "platform/folder_handles.h"
#include "platform/listed_folders.h"
#include "support/swaps.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace quillmere {
namespace {

using test::TempTree;

FolderIdentity identityOf(const std::string &path)
{
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return FolderIdentityOf(info);
}

TEST(FolderKey, IsTheFolderPartOfEveryPathListedInTheFolder)
{
    for (const std::string start : {"/", "//", "/pics/", "/pics//", "pics/", "./", "/a/b/"}) {
        std::string_view folder;
        std::string_view name;
        const std::string path = start + "f.jpg";
        SplitPath(path, folder, name);
        EXPECT_EQ(FolderKey(start), folder) << start;
        EXPECT_EQ(name, "f.jpg");
    }
}

// A chain of folders deeper than the handles may hold, listed from its top.
class ListedChainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string relative = "top";
        tree.makeFolder(relative);
        listed.addStart(tree.path(relative), identityOf(tree.path(relative)));
        for (int level = 0; level < kDepth; ++level) {
            relative += "/d" + std::to_string(level);
            tree.makeFolder(relative);
            listed.add(tree.path(relative), identityOf(tree.path(relative)));
        }
        deepest = tree.path(relative);
    }

    static constexpr int kDepth = 40;
    TempTree tree;
    ListedFolders listed;
    std::string deepest;
};

TEST_F(ListedChainTest, EveryListedFolderIsReachedWhateverTheCapacity)
{
    for (const std::size_t capacity : {std::size_t(1), std::size_t(3), FolderHandles::kDefaultCapacity}) {
        FolderHandles folders(&listed, capacity);
        const FolderHandles::Folder *found = folders.find(deepest);
        ASSERT_NE(found, nullptr) << capacity;
        EXPECT_EQ(found->identity, identityOf(deepest));
        // Its neighbours, above and below, in turn.
        const std::string above = deepest.substr(0, deepest.rfind('/'));
        ASSERT_NE(folders.find(above), nullptr) << capacity;
        EXPECT_EQ(folders.find(above)->identity, identityOf(above));
        ASSERT_NE(folders.find(deepest), nullptr) << capacity;
        // A folder that was not listed is never found, even one that exists.
        EXPECT_EQ(folders.find(tree.root()), nullptr);
        EXPECT_EQ(folders.find(tree.makeFolder("top/unlisted" + std::to_string(capacity))), nullptr);
    }
}

TEST_F(ListedChainTest, AFolderAboveReplacedByALinkToItselfCutsOffEverythingBelow)
{
    // The link leads to the very folders that were listed, but it is a link.
    const std::string middle = tree.path("top/d0/d1");
    test::swapFolderForLink(middle, middle + ".old");
    FolderHandles folders(&listed);
    EXPECT_EQ(folders.find(deepest), nullptr);
    EXPECT_EQ(folders.find(middle), nullptr);
    EXPECT_NE(folders.find(tree.path("top/d0")), nullptr);
    // Without a listing, a folder is taken as its path names it.
    FolderHandles unlisted;
    EXPECT_NE(unlisted.find(deepest), nullptr);
}

} // namespace
} // namespace quillmere
