#include "platform/path_text.h"
#include "removal/hard_link.h"
#include "removal/removal_pass.h"
#include "support/swaps.h"
#include "support/temp_tree.h"
#include "found_now.h"
#include "recording_removal_view.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sched.h>
#include <set>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillmere;
using quillmere::test::RecordingRemovalView;
using quillmere::test::TempTree;
using quillmere::test::entriesOf;
using quillmere::test::foundNow;

namespace {

struct stat statOf(const std::string &path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

// A plan of one set of identical files per entry of `sets`, each file given
// as its path and whether it is marked, with every row in that order.
RemovalPlan planOf(RemovalMethod method, const std::vector<std::vector<std::pair<std::string, bool>>> &sets)
{
    RemovalPlan plan;
    plan.method = method;
    for (const auto &set : sets) {
        std::vector<FoundFileRecord::Member> members;
        for (const auto &[path, marked] : set) {
            plan.rows.push_back({pathToText(path), marked});
            if (marked) {
                plan.marked.insert(pathToText(path));
            }
            members.push_back({pathToText(path), foundNow(path)});
        }
        plan.found.addSet(std::move(members));
    }
    return plan;
}

QString linkedLine(const std::string &path, const std::string &kept)
{
    return ShownPath(path) + QStringLiteral(" \u2014 replaced by a link to ") + ShownPath(kept);
}

TEST(HardLinks, MarkedCopiesBecomeLinksToTheKeptCopyAndTheirSpaceIsCounted)
{
    TempTree tree;
    const std::string content(3000, 'k');
    const std::string kept = tree.writeFile("kept.jpg", content);
    const std::string copy1 = tree.writeFile("copy1.jpg", content);
    tree.makeFolder("sub");
    const std::string copy2 = tree.writeFile("sub/copy2.jpg", content);
    // Already another name of the kept copy: nothing to free.
    const std::string twin = tree.path("twin.jpg");
    ASSERT_EQ(::link(kept.c_str(), twin.c_str()), 0);
    // A set whose every copy is marked has nothing to link to.
    const std::string alone1 = tree.writeFile("alone1.jpg", std::string(500, 'a'));
    const std::string alone2 = tree.writeFile("alone2.jpg", std::string(500, 'a'));
    RemovalPlan plan = planOf(RemovalMethod::HardLinks, {{{kept, false}, {copy1, true}, {copy2, true}, {twin, true}},
                                                         {{alone1, true}, {alone2, true}}});

    const RemovalSummary summary = SummarizeRemoval(plan);
    EXPECT_EQ(summary.files, 5);
    EXPECT_EQ(summary.bytes, 6000);
    EXPECT_EQ(summary.setsLosingEveryCopy, 1);
    // Deleting frees the lone set too, but never the twin, which the kept
    // row still names.
    plan.method = RemovalMethod::HardDrive;
    EXPECT_EQ(SummarizeRemoval(plan).bytes, 7000);
    plan.method = RemovalMethod::HardLinks;

    RecordingRemovalView view;
    RemoveMarkedFiles(plan, view);
    EXPECT_EQ(view.report,
              (QStringList {RemovalHeading(RemovalMethod::HardLinks), linkedLine(copy1, kept), linkedLine(copy2, kept),
                            QString(), QStringLiteral("3 marked files were not removed:"),
                            ShownPath(twin) + QStringLiteral(" \u2014 already a link to the copy kept; nothing to free"),
                            ShownPath(alone1) + QStringLiteral(" \u2014 ") + RemovalReason({RemovalOutcome::LastCopy}),
                            ShownPath(alone2) + QStringLiteral(" \u2014 ") + RemovalReason({RemovalOutcome::LastCopy}),
                            QString(), SpaceFreedLine(6000, RemovalMethod::HardLinks)}));
    const struct stat keptInfo = statOf(kept);
    EXPECT_EQ(keptInfo.st_nlink, 4u);
    for (const std::string &path : {copy1, copy2, twin}) {
        EXPECT_EQ(statOf(path).st_ino, keptInfo.st_ino) << path;
        EXPECT_EQ(TempTree::readFile(path), content) << path;
    }
    EXPECT_EQ(TempTree::readFile(alone1), std::string(500, 'a'));
    EXPECT_EQ(TempTree::readFile(alone2), std::string(500, 'a'));
    // Nothing of the private folders is left behind.
    EXPECT_EQ(entriesOf(tree.root()),
              (std::set<std::string> {"kept.jpg", "copy1.jpg", "sub", "twin.jpg", "alone1.jpg", "alone2.jpg"}));
    EXPECT_EQ(entriesOf(tree.path("sub")), (std::set<std::string> {"copy2.jpg"}));
}

// A swap of either file after every check but before the marked name is
// replaced: nothing is linked and no file is lost.
TEST(HardLinks, ASwapOfTheMarkedFileOrTheKeptCopyBeforeTheSwapLeavesEveryFile)
{
    enum class Swap { Marked, Kept, KeptWritten };
    for (const Swap swap : {Swap::Marked, Swap::Kept, Swap::KeptWritten}) {
        TempTree tree;
        const std::string kept = tree.writeFile("kept.jpg", "same bytes");
        const std::string marked = tree.writeFile("marked.jpg", "same bytes");
        const std::string other = tree.writeFile("other.txt", "other bytes");
        const ino_t markedInode = statOf(marked).st_ino;
        const ino_t keptInode = statOf(kept).st_ino;
        const RemovalResult result = ReplaceWithHardLink(marked, foundNow(marked), kept, foundNow(kept), [&] {
            if (swap == Swap::Marked) {
                test::swapFileForHardLink(marked, other);
            } else if (swap == Swap::Kept) {
                test::swapFileForHardLink(kept, other);
            } else {
                std::ofstream(kept, std::ios::app) << " and more";
            }
        });
        SCOPED_TRACE(static_cast<int>(swap));
        EXPECT_EQ(result.outcome, swap == Swap::Marked ? RemovalOutcome::Changed : RemovalOutcome::KeptChanged);
        EXPECT_EQ(result.leftAt, "");
        if (swap == Swap::Marked) {
            // The file put in its place keeps the name; the marked one is
            // where the swap put it.
            EXPECT_EQ(statOf(marked).st_ino, statOf(other).st_ino);
            EXPECT_EQ(statOf(marked + ".old").st_ino, markedInode);
        } else {
            EXPECT_EQ(statOf(marked).st_ino, markedInode);
            EXPECT_EQ(statOf(marked).st_nlink, 1u);
        }
        EXPECT_EQ(TempTree::readFile(swap == Swap::Marked ? marked + ".old" : marked), "same bytes");
        const std::string keptNow = swap == Swap::Kept ? kept + ".old" : kept;
        EXPECT_EQ(statOf(keptNow).st_ino, keptInode);
        EXPECT_EQ(statOf(keptNow).st_nlink, 1u);
        std::set<std::string> names {"kept.jpg", "marked.jpg", "other.txt"};
        if (swap != Swap::KeptWritten) {
            names.insert(swap == Swap::Marked ? "marked.jpg.old" : "kept.jpg.old");
        }
        EXPECT_EQ(entriesOf(tree.root()), names);
    }
}

// In a mount namespace of a child process of its own, so nothing outlives
// the test: a marked copy on a tmpfs, and one reached through a bind mount
// of the kept copy's own file system, cannot be links to it and are left.
TEST(HardLinks, ACopyOnAnotherFileSystemOrMountIsLeftAsItWas)
{
    TempTree tree;
    const std::string kept = tree.writeFile("kept.jpg", "same bytes");
    const std::string other = tree.makeFolder("other");
    const std::string source = tree.makeFolder("source");
    const std::string bound = tree.makeFolder("bound");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        const bool mounted = ::unshare(CLONE_NEWNS) == 0
            && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
            && ::mount("tmpfs", other.c_str(), "tmpfs", 0, "size=64k") == 0
            && ::mount(source.c_str(), bound.c_str(), nullptr, MS_BIND, nullptr) == 0;
        const char answer = mounted ? 'm' : 'n';
        (void)::write(ready[1], &answer, 1);
        if (!mounted) {
            ::_exit(0);
        }
        int wrong = 0;
        for (const std::string &folder : {other, bound}) {
            const std::string marked = folder + "/marked.jpg";
            std::ofstream(marked) << "same bytes";
            const ino_t inode = statOf(marked).st_ino;
            RemovalPlan plan = planOf(RemovalMethod::HardLinks, {{{kept, false}, {marked, true}}});
            RecordingRemovalView view;
            RemoveMarkedFiles(plan, view);
            const RemovalResult refused {RemovalOutcome::OtherFileSystem};
            wrong += view.report.value(3) != ShownPath(marked) + QStringLiteral(" \u2014 ") + RemovalReason(refused);
            wrong += view.report.last() != SpaceFreedLine(0, RemovalMethod::HardLinks);
            wrong += statOf(marked).st_ino != inode || TempTree::readFile(marked) != "same bytes";
            wrong += entriesOf(folder) != std::set<std::string> {"marked.jpg"};
        }
        wrong += statOf(kept).st_nlink != 1;
        ::_exit(wrong);
    }
    ::close(ready[1]);
    char answer = 0;
    (void)::read(ready[0], &answer, 1);
    ::close(ready[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (answer != 'm') {
        GTEST_SKIP() << "no file system could be mounted here (mount namespaces need root); "
                        "links across file systems are not tried";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

} // namespace
