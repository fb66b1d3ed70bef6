#include "app/random_generator.h"
#include "removal/overwrite.h"
#include "removal/recycle_bin.h"
#include "support/temp_tree.h"
#include "trash_home.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/stat.h>

using namespace quillmere;
using quillmere::test::TempTree;
using quillmere::test::TrashHome;

namespace {

class RemovalPrimitives : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TrashHome::instance().usedByGio()) << "GIO reads another home; nothing may be trashed";
        TrashHome::instance().empty();
    }
    const TrashHome &trash() const { return TrashHome::instance(); }
    TempTree tree;
};

using Blocks = std::array<std::string, kOverwritePasses>;

// The three blocks the next overwrite will write, drawn ahead from the shared
// generator, which is then put back where it was.
Blocks nextOverwriteBlocks()
{
    const std::uint32_t saved = RandomState();
    Blocks blocks;
    for (std::string &block : blocks) {
        for (std::size_t i = 0; i < kOverwriteBlockSize; ++i) {
            block += static_cast<char>(RandomBelow(256));
        }
    }
    RandomState() = saved;
    return blocks;
}

std::uint32_t stateAfterOverwrite()
{
    const std::uint32_t saved = RandomState();
    for (std::size_t i = 0; i < kOverwritePasses * kOverwriteBlockSize; ++i) {
        RandomBelow(256);
    }
    const std::uint32_t after = RandomState();
    RandomState() = saved;
    return after;
}

// A block written over a file of the given length, again and again, the last
// copy cut.
std::string repeated(const std::string &block, std::size_t length)
{
    std::string content;
    while (content.size() < length) {
        content += block.substr(0, length - content.size());
    }
    return content;
}

} // namespace

TEST_F(RemovalPrimitives, recycleMovesTheFileToTheTrashWithItsOriginalPath)
{
    for (const std::string name : {"photo.jpg", "\xff\xfe photo.jpg", "line\nbreak.jpg"}) {
        const std::string path = tree.writeFile(name, "content of " + name);
        ASSERT_TRUE(RecycleFile(path, SeenFileAt(path)));
        EXPECT_FALSE(TempTree::exists(path));
        const auto copy = trash().trashedCopyOf(path);
        ASSERT_TRUE(copy.has_value()) << name;
        EXPECT_EQ(TempTree::readFile(*copy), "content of " + name);
    }
}

TEST_F(RemovalPrimitives, recycleLeavesAloneWhatIsNoLongerTheSeenRegularFile)
{
    const std::string target = tree.writeFile("target.jpg", "target");
    const std::string link = tree.makeSymlink("link.jpg", target);
    const std::string fifo = tree.makeFifo("fifo.jpg");
    const std::string folder = tree.makeFolder("folder.jpg");
    EXPECT_FALSE(RecycleFile(link));
    EXPECT_FALSE(RecycleFile(fifo));
    EXPECT_FALSE(RecycleFile(folder));
    EXPECT_FALSE(RecycleFile(tree.path("missing.jpg")));
    EXPECT_FALSE(RecycleFile(""));
    EXPECT_TRUE(TempTree::exists(link) && TempTree::exists(fifo) && TempTree::exists(folder));

    // Changed after the search saw it: in length, or rewritten at the same length.
    const std::optional<SeenFile> seen = SeenFileAt(target);
    ASSERT_TRUE(seen.has_value());
    SeenFile longer = *seen;
    longer.size += 1;
    SeenFile older = *seen;
    older.modifiedSeconds -= 10;
    EXPECT_FALSE(RecycleFile(target, longer));
    EXPECT_FALSE(RecycleFile(target, older));
    EXPECT_EQ(TempTree::readFile(target), "target");
    EXPECT_EQ(trash().entryCount(), 0);
}

TEST_F(RemovalPrimitives, overwriteWritesThreeFreshBlocksOverTheWholeFileThenDeletes)
{
    const std::string path = tree.writeFile("big.jpg", std::string(10000, 'x'));
    RandomState() = 4711;
    const Blocks blocks = nextOverwriteBlocks();
    EXPECT_NE(blocks[0], blocks[1]);
    EXPECT_NE(blocks[1], blocks[2]);
    const std::uint32_t expectedState = stateAfterOverwrite();

    int passesSeen = 0;
    const bool gone = OverwriteAndDeleteFile(path, SeenFileAt(path), [&](int pass) {
        ASSERT_EQ(pass, passesSeen);
        // The same block from offset 0: 4096 + 4096 + the first 1808 bytes.
        const std::string content = TempTree::readFile(path);
        EXPECT_EQ(content.size(), 10000u);
        EXPECT_EQ(content, repeated(blocks[pass], 10000)) << "pass " << pass;
        ++passesSeen;
    });
    EXPECT_TRUE(gone);
    EXPECT_EQ(passesSeen, 3);
    EXPECT_FALSE(TempTree::exists(path));
    EXPECT_EQ(RandomState(), expectedState);
}

TEST_F(RemovalPrimitives, overwriteOfAnEmptyFileStillDrawsThreeBlocks)
{
    const std::string path = tree.writeFile("\xff empty.jpg", "");
    RandomState() = 99;
    const std::uint32_t expectedState = stateAfterOverwrite();
    int passes = 0;
    EXPECT_TRUE(OverwriteAndDeleteFile(path, SeenFileAt(path), [&](int) {
        EXPECT_EQ(TempTree::readFile(path), "");
        ++passes;
    }));
    EXPECT_EQ(passes, 3);
    EXPECT_FALSE(TempTree::exists(path));
    EXPECT_EQ(RandomState(), expectedState);
}

TEST_F(RemovalPrimitives, overwriteNeverWritesAnythingButTheSeenRegularFile)
{
    const std::string target = tree.writeFile("target.jpg", "target");
    const std::string link = tree.makeSymlink("link.jpg", target);
    const std::string fifo = tree.makeFifo("fifo.jpg");
    const std::string folder = tree.makeFolder("folder.jpg");
    const std::string readOnly = tree.writeFile("readonly.jpg", "keep");
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    const std::string shared = tree.writeFile("shared.jpg", "shared");
    const std::string otherName = tree.path("other name.jpg");
    ASSERT_EQ(::link(shared.c_str(), otherName.c_str()), 0);
    RandomState() = 5;

    EXPECT_FALSE(OverwriteAndDeleteFile(link));
    EXPECT_FALSE(OverwriteAndDeleteFile(fifo)); // must return, not wait for a writer
    EXPECT_FALSE(OverwriteAndDeleteFile(folder));
    EXPECT_FALSE(OverwriteAndDeleteFile(readOnly));
    EXPECT_FALSE(OverwriteAndDeleteFile(shared));
    EXPECT_FALSE(OverwriteAndDeleteFile(tree.path("missing.jpg")));
    EXPECT_FALSE(OverwriteAndDeleteFile(target + std::string("\0x", 2)));

    SeenFile changed = *SeenFileAt(target);
    changed.modifiedNanoseconds += 1;
    EXPECT_FALSE(OverwriteAndDeleteFile(target, changed));
    changed = *SeenFileAt(target);
    changed.size = 0;
    EXPECT_FALSE(OverwriteAndDeleteFile(target, changed));

    EXPECT_EQ(TempTree::readFile(target), "target");
    EXPECT_EQ(TempTree::readFile(link), "target");
    EXPECT_EQ(TempTree::readFile(readOnly), "keep");
    EXPECT_EQ(TempTree::readFile(shared), "shared");
    EXPECT_EQ(TempTree::readFile(otherName), "shared");
    EXPECT_TRUE(TempTree::exists(fifo) && TempTree::exists(folder));
    EXPECT_EQ(RandomState(), 5u) << "nothing was overwritten, so nothing was drawn";
}

TEST_F(RemovalPrimitives, overwriteDoesNotDeleteAFileThatTookTheNameMeanwhile)
{
    const std::string path = tree.writeFile("swap.jpg", std::string(100, 'a'));
    const std::string moved = tree.path("moved.jpg");
    const bool gone = OverwriteAndDeleteFile(path, SeenFileAt(path), [&](int pass) {
        if (pass == 2) {
            ASSERT_EQ(std::rename(path.c_str(), moved.c_str()), 0);
            tree.writeFile("swap.jpg", "newcomer");
        }
    });
    EXPECT_FALSE(gone) << "a file that is still on disk must not be reported as removed";
    EXPECT_EQ(TempTree::readFile(path), "newcomer");
    EXPECT_EQ(TempTree::readFile(moved).size(), 100u);
}
