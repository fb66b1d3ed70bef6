#include "support/temp_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using quillmere::test::TempTree;

// Tests leave nothing behind: a tree holding names that are not UTF-8 and
// folders closed by their mode is removed whole.
TEST(TempTreeCleanup, removesEveryNameAndModeItHolds)
{
    std::string root;
    {
        TempTree tree;
        root = tree.root();
        tree.writeFile("\xff\xfe odd.jpg", "x");
        tree.makeFolder("closed");
        tree.writeFile("closed/\xe9.jpg", "y");
        tree.makeFolder("locked");
        tree.makeFolder("locked/inner");
        tree.makeFifo("fifo.jpg");
        ASSERT_EQ(::chmod(tree.path("locked").c_str(), 0555), 0);
        ASSERT_EQ(::chmod(tree.path("closed").c_str(), 0), 0);
    }
    EXPECT_FALSE(TempTree::exists(root));
}
