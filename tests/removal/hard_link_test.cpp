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
#include <sys/mount.h>
#include <sys/wait.h>

using namespace quillmere;
using quillmere::test::TempTree;
using quillmere::test::entriesOf;
using Names = std::set<std::string>;

namespace {

struct stat statOf(const std::string &path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

// A plan of hard links over sets of identical files, each file given with
// its mark; the rows in that order.
RemovalPlan planOf(const std::vector<std::vector<std::pair<std::string, bool>>> &sets)
{
    RemovalPlan plan;
    plan.method = RemovalMethod::HardLinks;
    for (const auto &set : sets) {
        std::vector<FoundFileRecord::Member> members;
        for (const auto &[path, marked] : set) {
            plan.rows.push_back({pathToText(path), marked});
            if (marked) {
                plan.marked.insert(pathToText(path));
            }
            members.push_back({pathToText(path), test::foundNow(path)});
        }
        plan.found.addSet(std::move(members));
    }
    return plan;
}

QStringList runPass(const RemovalPlan &plan)
{
    test::RecordingRemovalView view;
    RemoveMarkedFiles(plan, view);
    return view.report;
}

QString line(const std::string &path, const QString &words)
{
    return ShownPath(path) + QStringLiteral(" \u2014 ") + words;
}

TEST(HardLinks, MarkedCopiesBecomeLinksToTheKeptCopyAndOnlyTheirOwnBytesCount)
{
    TempTree tree;
    const std::string content(3000, 'k');
    const std::string kept = tree.writeFile("kept.jpg", content);
    const std::string copy1 = tree.writeFile("copy1.jpg", content);
    tree.makeFolder("sub");
    const std::string copy2 = tree.writeFile("sub/copy2.jpg", content);
    const std::string twin = tree.path("twin.jpg"); // already a name of the kept copy
    ASSERT_EQ(::link(kept.c_str(), twin.c_str()), 0);
    const std::string alone1 = tree.writeFile("alone1.jpg", "alone");
    const std::string alone2 = tree.writeFile("alone2.jpg", "alone");
    RemovalPlan plan =
        planOf({{{kept, false}, {copy1, true}, {copy2, true}, {twin, true}}, {{alone1, true}, {alone2, true}}});

    const RemovalSummary summary = SummarizeRemoval(plan);
    EXPECT_EQ(std::tie(summary.files, summary.bytes, summary.setsLosingEveryCopy), std::make_tuple(5, 6000, 1));
    plan.method = RemovalMethod::HardDrive; // deleting frees the lone set, never the twin
    EXPECT_EQ(SummarizeRemoval(plan).bytes, 6010);
    plan.method = RemovalMethod::HardLinks;

    const QString lastCopy = RemovalReason({RemovalOutcome::LastCopy});
    const QString linked = QStringLiteral("replaced by a link to ") + ShownPath(kept);
    EXPECT_EQ(runPass(plan),
              (QStringList {RemovalHeading(RemovalMethod::HardLinks), line(copy1, linked), line(copy2, linked), QString(),
                            QStringLiteral("3 marked files were not removed:"),
                            line(twin, QStringLiteral("already a link to the copy kept; nothing to free")),
                            line(alone1, lastCopy), line(alone2, lastCopy), QString(),
                            SpaceFreedLine(6000, RemovalMethod::HardLinks)}));
    EXPECT_EQ(statOf(kept).st_nlink, 4u);
    for (const std::string &path : {copy1, copy2, twin}) {
        EXPECT_EQ(statOf(path).st_ino, statOf(kept).st_ino) << path;
        EXPECT_EQ(TempTree::readFile(path), content) << path;
    }
    EXPECT_EQ(TempTree::readFile(alone2), "alone");
    EXPECT_EQ(entriesOf(tree.root()), (Names {"kept.jpg", "copy1.jpg", "sub", "twin.jpg", "alone1.jpg", "alone2.jpg"}));
    EXPECT_EQ(entriesOf(tree.path("sub")), Names {"copy2.jpg"});
}

// Either file swapped, or the kept copy written to, after every check but
// before the link takes the marked name: the swap is undone, no file lost.
TEST(HardLinks, ASwapOfEitherFileJustBeforeTheLinkTakesTheNameLeavesEveryFile)
{
    for (const int swap : {0, 1, 2}) {
        SCOPED_TRACE(swap);
        TempTree tree;
        const std::string kept = tree.writeFile("kept.jpg", "same");
        const std::string marked = tree.writeFile("marked.jpg", "same");
        const std::string other = tree.writeFile("other.txt", "other");
        const ino_t markedInode = statOf(marked).st_ino;
        const ino_t keptInode = statOf(kept).st_ino;
        const auto meddle = [&] {
            if (swap == 2) {
                std::ofstream(kept, std::ios::app) << " and more";
            } else {
                test::swapFileForHardLink(swap == 0 ? marked : kept, other);
            }
        };
        const RemovalResult result =
            ReplaceWithHardLink(marked, test::foundNow(marked), kept, test::foundNow(kept), meddle);
        EXPECT_EQ(result.outcome, swap == 0 ? RemovalOutcome::Changed : RemovalOutcome::KeptChanged);
        EXPECT_EQ(result.leftAt, "");
        const std::string markedNow = swap == 0 ? marked + ".old" : marked;
        const std::string keptNow = swap == 1 ? kept + ".old" : kept;
        EXPECT_EQ(std::make_tuple(statOf(markedNow).st_ino, statOf(markedNow).st_nlink, TempTree::readFile(markedNow)),
                  std::make_tuple(markedInode, nlink_t(1), std::string("same")));
        EXPECT_EQ(std::make_pair(statOf(keptNow).st_ino, statOf(keptNow).st_nlink),
                  std::make_pair(keptInode, nlink_t(1)));
        Names names {"kept.jpg", "marked.jpg", "other.txt"};
        if (swap != 2) {
            names.insert(swap == 0 ? "marked.jpg.old" : "kept.jpg.old");
        }
        EXPECT_EQ(entriesOf(tree.root()), names);
    }
}

// In a mount namespace of a child process, so nothing outlives the test: a
// copy on a tmpfs, and one reached through a bind mount of the kept copy's
// own file system, cannot be links to it and are left.
TEST(HardLinks, ACopyOnAnotherFileSystemOrMountIsLeftAsItWas)
{
    TempTree tree;
    const std::string kept = tree.writeFile("kept.jpg", "same");
    const std::string other = tree.makeFolder("other");
    const std::string source = tree.makeFolder("source");
    const std::string bound = tree.makeFolder("bound");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool mounted = ::unshare(CLONE_NEWNS) == 0
            && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
            && ::mount("tmpfs", other.c_str(), "tmpfs", 0, "size=64k") == 0
            && ::mount(source.c_str(), bound.c_str(), nullptr, MS_BIND, nullptr) == 0;
        (void)::write(ready[1], mounted ? "m" : "n", 1);
        if (!mounted) {
            ::_exit(0);
        }
        int wrong = 0;
        for (const std::string &folder : {other, bound}) {
            const std::string marked = folder + "/marked.jpg";
            std::ofstream(marked) << "same";
            const ino_t inode = statOf(marked).st_ino;
            const QStringList report = runPass(planOf({{{kept, false}, {marked, true}}}));
            wrong += report.value(3) != line(marked, RemovalReason({RemovalOutcome::OtherFileSystem}));
            wrong += report.last() != SpaceFreedLine(0, RemovalMethod::HardLinks);
            wrong += statOf(marked).st_ino != inode || entriesOf(folder) != Names {"marked.jpg"};
        }
        ::_exit(wrong + (statOf(kept).st_nlink != 1));
    }
    char answer = 0;
    (void)::read(ready[0], &answer, 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(ready[0]);
    ::close(ready[1]);
    if (answer != 'm') {
        GTEST_SKIP() << "no file system could be mounted here (mount namespaces need root); "
                        "links across file systems are not tried";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

} // namespace
