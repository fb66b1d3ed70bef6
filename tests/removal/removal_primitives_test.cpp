#include "common/random_generator.h"
#include "removal/overwrite.h"
#include "removal/recycle_bin.h"
#include "removal/removal_pass.h"
#include "support/temp_tree.h"
#include "found_now.h"
#include "trash_home.h"

#include <array>
#include <atomic>
#include <fcntl.h>
#include <set>
#include <thread>
#include <tuple>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/stat.h>

using namespace quillmere;
using quillmere::test::TempTree;
using quillmere::test::TrashHome;
using quillmere::test::asUnprivilegedUser;
using quillmere::test::contentOf;
using quillmere::test::entriesOf;
using quillmere::test::foundNow;
using quillmere::test::replaceKeepingTimes;

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

RemovalResult removeBy(RemovalMethod method, const std::string &path, const FoundFile &found)
{
    return method == RemovalMethod::RecycleBin ? RecycleFile(path, found) : OverwriteAndDeleteFile(path, found);
}

const RemovalMethod kBothMethods[] = {RemovalMethod::RecycleBin, RemovalMethod::HardDrive};

} // namespace


TEST_F(RemovalPrimitives, recycleMovesTheFileToTheTrashWithItsOriginalPath)
{
    for (const std::string name : {"photo.jpg", "\xff\xfe photo.jpg", "line\nbreak.jpg"}) {
        const std::string path = tree.writeFile(name, "content of " + name);
        ASSERT_TRUE(RecycleFile(path, foundNow(path)).removed());
        EXPECT_FALSE(TempTree::exists(path));
        const auto copy = trash().trashedCopyOf(path);
        ASSERT_TRUE(copy.has_value()) << name;
        EXPECT_EQ(TempTree::readFile(*copy), "content of " + name);
    }
}

TEST_F(RemovalPrimitives, neitherMethodTouchesAnythingButTheComparedFileUnchanged)
{
    for (const RemovalMethod method : kBothMethods) {
        TempTree local;
        const auto found = [&](const std::string &name) { return foundNow(local.writeFile(name, "compared")); };
        std::vector<std::pair<std::string, FoundFile>> cases;
        // Replaced by another file of the same length and time, as sync tools do.
        cases.emplace_back(local.path("swapped.jpg"), found("swapped.jpg"));
        replaceKeepingTimes(local.path("swapped.jpg"), "replaced");
        // Edited in place, its modification time put back: only the change time tells.
        cases.emplace_back(local.path("edited.jpg"), found("edited.jpg"));
        {
            const FoundFile before = cases.back().second;
            local.writeFile("edited.jpg", "EDITED!!");
            const struct timespec times[2] = {{0, UTIME_OMIT},
                                              {before.file.modifiedNs / 1000000000, before.file.modifiedNs % 1000000000}};
            ASSERT_EQ(::utimensat(AT_FDCWD, local.path("edited.jpg").c_str(), times, 0), 0);
        }
        // Its folder replaced by a link to a folder holding a look-alike.
        local.makeFolder("sub");
        cases.emplace_back(local.path("sub/inner.jpg"), found("sub/inner.jpg"));
        local.makeFolder("elsewhere");
        local.writeFile("elsewhere/inner.jpg", "compared");
        ASSERT_EQ(::rename(local.path("sub").c_str(), local.path("sub.old").c_str()), 0);
        local.makeSymlink("sub", local.path("elsewhere"));
        {
            const FoundFile original = cases.back().second;
            const FoundFile lookAlike = foundNow(local.path("elsewhere/inner.jpg"));
            ASSERT_EQ(lookAlike.file.size, original.file.size);
        }
        // Replaced by a link, a FIFO, a folder, or gone.
        for (const char *name : {"link.jpg", "fifo.jpg", "folder.jpg", "gone.jpg"}) {
            cases.emplace_back(local.path(name), found(name));
            ::unlink(local.path(name).c_str());
        }
        local.makeSymlink("link.jpg", local.path("elsewhere/inner.jpg"));
        local.makeFifo("fifo.jpg"); // must not block either method
        local.makeFolder("folder.jpg");

        RandomState() = 5;
        for (const auto &[path, seen] : cases) {
            const RemovalResult result = removeBy(method, path, seen);
            EXPECT_FALSE(result.removed()) << path;
            EXPECT_EQ(result.outcome, path == local.path("gone.jpg") ? RemovalOutcome::Gone : RemovalOutcome::Changed)
                << path;
        }
        EXPECT_EQ(TempTree::readFile(local.path("swapped.jpg")), "replaced");
        EXPECT_EQ(TempTree::readFile(local.path("edited.jpg")), "EDITED!!");
        EXPECT_EQ(TempTree::readFile(local.path("elsewhere/inner.jpg")), "compared");
        EXPECT_EQ(TempTree::readFile(local.path("sub.old/inner.jpg")), "compared");
        EXPECT_TRUE(TempTree::exists(local.path("fifo.jpg")) && TempTree::exists(local.path("folder.jpg")));
        EXPECT_EQ(RandomState(), 5u) << "nothing was overwritten, so nothing was drawn";
        EXPECT_EQ(trash().entryCount(), 0);
    }
}

TEST_F(RemovalPrimitives, overwriteWritesThreeFreshBlocksOverTheWholeFileThenDeletes)
{
    // An empty file too draws its three blocks.
    for (const auto &[name, size, seed] : {std::tuple {"big.jpg", 10000, 4711u}, std::tuple {"\xff empty.jpg", 0, 99u}}) {
        const std::string path = tree.writeFile(name, std::string(static_cast<std::size_t>(size), 'x'));
        const FoundFile found = foundNow(path);
        const int watch = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(watch, 0);
        RandomState() = seed;
        const Blocks blocks = nextOverwriteBlocks();
        EXPECT_NE(blocks[0], blocks[1]);
        EXPECT_NE(blocks[1], blocks[2]);
        const std::uint32_t expectedState = stateAfterOverwrite();

        int passesSeen = 0;
        const RemovalResult result = OverwriteAndDeleteFile(path, found, [&](int pass) {
            ASSERT_EQ(pass, passesSeen);
            // Out of the way under a private name while it is written.
            EXPECT_FALSE(TempTree::exists(path));
            EXPECT_EQ(entriesOf(tree.root()).size(), 1u);
            // The same block from offset 0: 4096 + 4096 + the first 1808 bytes.
            EXPECT_EQ(contentOf(watch), repeated(blocks[pass], static_cast<std::size_t>(size))) << "pass " << pass;
            ++passesSeen;
        });
        ::close(watch);
        EXPECT_TRUE(result.removed()) << name;
        EXPECT_EQ(passesSeen, 3) << name;
        EXPECT_TRUE(entriesOf(tree.root()).empty()) << name;
        EXPECT_EQ(RandomState(), expectedState) << name;
    }
}

TEST_F(RemovalPrimitives, overwriteLeavesReadOnlyAndHardLinkedFilesAlone)
{
    const std::string readOnly = tree.writeFile("readonly.jpg", "keep");
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    const std::string shared = tree.writeFile("shared.jpg", "shared");
    const std::string otherName = tree.path("other name.jpg");
    ASSERT_EQ(::link(shared.c_str(), otherName.c_str()), 0);
    RandomState() = 5;
    EXPECT_EQ(OverwriteAndDeleteFile(readOnly, foundNow(readOnly)).outcome, RemovalOutcome::NotWritable);
    EXPECT_EQ(OverwriteAndDeleteFile(shared, foundNow(shared)).outcome, RemovalOutcome::OtherNames);
    EXPECT_EQ(TempTree::readFile(readOnly), "keep");
    EXPECT_EQ(TempTree::readFile(otherName), "shared");
    EXPECT_EQ(RandomState(), 5u);
}

TEST_F(RemovalPrimitives, aFolderThatKeepsItsEntriesStopsTheOverwriteBeforeAnyWrite)
{
    const std::string folder = tree.makeFolder("locked");
    const std::string path = tree.writeFile("locked/photo.jpg", "precious");
    const int outcome = asUnprivilegedUser(tree.root(), [&] {
        ::chmod(folder.c_str(), 0555);
        const RemovalResult result = OverwriteAndDeleteFile(path, foundNow(path));
        ::chmod(folder.c_str(), 0755);
        return static_cast<int>(result.outcome);
    });
    EXPECT_EQ(outcome, static_cast<int>(RemovalOutcome::FolderLocked));
    EXPECT_EQ(TempTree::readFile(path), "precious");
    EXPECT_EQ(entriesOf(folder), std::set<std::string> {"photo.jpg"});
}

TEST_F(RemovalPrimitives, aDestroyedFileThatCannotBeDeletedIsReportedWhereItLies)
{
    const std::string folder = tree.makeFolder("closing");
    const std::string path = tree.writeFile("closing/photo.jpg", std::string(5000, 'p'));
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const int outcome = asUnprivilegedUser(tree.root(), [&] {
        std::string hidden;
        const RemovalResult result = OverwriteAndDeleteFile(path, foundNow(path), [&](int pass) {
            if (pass == 2 && entriesOf(folder).size() == 1) {
                // The folder the file was moved into no longer lets it go.
                hidden = folder + "/" + *entriesOf(folder).begin();
                ::chmod(hidden.c_str(), 0500);
            }
        });
        ::chmod(hidden.c_str(), 0700);
        const std::string reason = RemovalReason(result).toStdString();
        [[maybe_unused]] const ssize_t ignored = ::write(pipeFds[1], reason.data(), reason.size());
        return static_cast<int>(result.outcome);
    });
    ::close(pipeFds[1]);
    char buffer[4096];
    const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
    ::close(pipeFds[0]);
    EXPECT_EQ(outcome, static_cast<int>(RemovalOutcome::Stranded));
    const std::set<std::string> left = entriesOf(folder);
    ASSERT_EQ(left.size(), 1u);
    const std::string lies = folder + "/" + *left.begin() + "/photo.jpg";
    EXPECT_NE(TempTree::readFile(lies), std::string(5000, 'p'));
    EXPECT_EQ(TempTree::readFile(lies).size(), 5000u);
    EXPECT_NE(std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0))).find(lies), std::string::npos);
}

TEST_F(RemovalPrimitives, aFileRenamedOverTheMarkedNameDuringTheOverwriteIsNeverDeleted)
{
    const std::string path = tree.writeFile("swap.jpg", std::string(100, 'a'));
    const RemovalResult result = OverwriteAndDeleteFile(path, foundNow(path), [&](int pass) {
        if (pass == 2) {
            tree.writeFile("newcomer.jpg", "newcomer");
            ASSERT_EQ(std::rename(tree.path("newcomer.jpg").c_str(), path.c_str()), 0);
        }
    });
    EXPECT_TRUE(result.removed());
    EXPECT_EQ(TempTree::readFile(path), "newcomer");
    EXPECT_EQ(entriesOf(tree.root()), std::set<std::string> {"swap.jpg"});
}

TEST_F(RemovalPrimitives, renamesRacingTheOverwriteNeverTouchAnotherFile)
{
    // A second thread keeps swapping another file of the same length with
    // the marked name (an exchange, so the racer itself never destroys a
    // file). Whatever the interleaving, every other file keeps its content
    // and the marked file is either removed or left whole.
    constexpr int kTrials = 300;
    int removed = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        TempTree local;
        const std::string marked = local.writeFile("marked.jpg", std::string(64, 'm'));
        const std::string other = local.writeFile("other.jpg", std::string(64, 'o'));
        const FoundFile found = foundNow(marked);
        std::atomic<bool> done {false};
        std::thread racer([&] {
            int folder = ::open(local.root().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            while (!done.load()) {
                ::renameat2(folder, "other.jpg", folder, "marked.jpg", RENAME_EXCHANGE);
            }
            ::close(folder);
        });
        const RemovalResult result = OverwriteAndDeleteFile(marked, found);
        done = true;
        racer.join();

        int others = 0;
        int markedLeft = 0;
        for (const std::string &name : entriesOf(local.root())) {
            const std::string content = TempTree::readFile(local.path(name));
            others += content == std::string(64, 'o') ? 1 : 0;
            markedLeft += content == std::string(64, 'm') ? 1 : 0;
            EXPECT_TRUE(content == std::string(64, 'o') || content == std::string(64, 'm')) << "trial " << trial;
        }
        ASSERT_EQ(others, 1) << "trial " << trial << ": the other file was touched";
        EXPECT_EQ(markedLeft, result.removed() ? 0 : 1) << "trial " << trial;
        EXPECT_EQ(entriesOf(local.root()).size(), result.removed() ? 1u : 2u) << "trial " << trial;
        removed += result.removed() ? 1 : 0;
    }
    EXPECT_GT(removed, 0);
}
