#include "common/stop_flag.h"
#include "recording_view.h"
#include "search/collect_files.h"
#include "search/file_list.h"
#include "support/temp_tree.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmere {
namespace {

using test::RecordingView;
using test::TempTree;

std::vector<std::string> sorted(std::vector<std::string> paths)
{
    std::sort(paths.begin(), paths.end());
    return paths;
}

class CollectFilesTest : public ::testing::Test {
protected:
    void SetUp() override { StopFlag = 0; }
    void TearDown() override { StopFlag = 1; }

    TempTree tree;
    FileList list;
    RecordingView view;
};

TEST_F(CollectFilesTest, ListsRegularMatchingFilesOnlyAndNeverFollowsLinks)
{
    const std::string a = tree.writeFile("a.jpg", "a");
    const std::string upper = tree.writeFile("B.JPG", "b");
    tree.writeFile("c.png", "c");
    const std::string hidden = tree.writeFile(".hidden.jpg", "h");
    tree.makeFolder("sub");
    const std::string nested = tree.writeFile("sub/n.jpg", "n");
    tree.makeFolder("sub/deeper");
    const std::string deep = tree.writeFile("sub/deeper/d.jpg", "d");
    tree.makeFolder(".hiddenfolder");
    const std::string inHidden = tree.writeFile(".hiddenfolder/h.jpg", "h");
    tree.makeFolder("folder.jpg");
    tree.makeFifo("x.jpg");
    tree.makeSymlink("link.jpg", a);
    tree.makeSymlink("loop", ".");
    tree.makeSymlink("sub/up", "..");
    const std::string oddBytes = tree.writeFile("bad\xFF\xFE.jpg", "x");
    const std::string lineBreak = tree.writeFile("line\nbreak.jpg", "y");

    CollectFiles(tree.root(), QStringLiteral("*.jpg"), list, true, view);
    EXPECT_EQ(sorted(list.paths()), sorted({ a, upper, hidden, nested, deep, inHidden, oddBytes, lineBreak }));
    EXPECT_EQ(list.updateDepth(), 0);
    // A subfolder is listed whole where its name comes up.
    const std::vector<std::string> paths = list.paths();
    const auto at = [&](const std::string &p) { return std::find(paths.begin(), paths.end(), p); };
    EXPECT_EQ(std::abs(std::distance(at(nested), at(deep))), 1);

    // Without recursion only the start folder counts; "/" is added only when missing.
    FileList flat;
    CollectFiles(tree.root() + "/", QStringLiteral("*.jpg"), flat, false, view);
    EXPECT_EQ(sorted(flat.paths()), sorted({ a, upper, hidden, oddBytes, lineBreak }));
}

TEST_F(CollectFilesTest, PumpsAfterEachFileAndAdvanceAndLabelsEachFinishedSubfolder)
{
    tree.writeFile("a.jpg", "a");
    tree.writeFile("b.jpg", "b");
    tree.writeFile("c.txt", "c");
    CollectFiles(tree.root(), QStringLiteral("*.jpg"), list, false, view);
    // Five entries (".", "..", three files) give five advances; two files added.
    EXPECT_EQ(view.pumps, 7);
    EXPECT_TRUE(view.only("label").empty());

    tree.makeFolder("sub");
    tree.writeFile("sub/d.jpg", "d");
    list.clear();
    view.events.clear();
    CollectFiles(tree.root(), QStringLiteral("*.jpg"), list, true, view);
    EXPECT_EQ(view.only("label1"), std::vector<std::string> { "label1 Files Search: " + tree.root() + "/sub" });
    const auto count = view.only("label3");
    ASSERT_EQ(count.size(), 1u);
    EXPECT_TRUE(count[0] >= "label3 Found files: 1" && count[0] <= "label3 Found files: 3") << count[0];
}

TEST_F(CollectFilesTest, StopAfterAFileEndsTheListingAtEveryLevel)
{
    tree.makeFolder("one");
    tree.makeFolder("one/two");
    for (int i = 0; i < 5; ++i) {
        tree.writeFile("one/two/f" + std::to_string(i) + ".jpg", "x");
        tree.writeFile("one/g" + std::to_string(i) + ".jpg", "x");
        tree.writeFile("h" + std::to_string(i) + ".jpg", "x");
    }
    std::size_t stopAt = 0;
    view.onPump = [&] {
        if (list.count() == 1 && StopFlag == 0) {
            StopFlag = 1;
            stopAt = view.events.size();
        }
    };
    CollectFiles(tree.root(), QStringLiteral("*.jpg"), list, true, view);
    EXPECT_EQ(list.count(), 1);
    EXPECT_EQ(list.updateDepth(), 0);
    // Nothing is read after the stop; only the labels of the folders left.
    ASSERT_GT(stopAt, 0u);
    for (std::size_t i = stopAt; i < view.events.size(); ++i) {
        EXPECT_EQ(view.events[i].rfind("label", 0), 0u) << view.events[i];
    }
}

TEST_F(CollectFilesTest, EndsOnVanishingMissingAndVirtualFolders)
{
    tree.makeFolder("sub");
    for (int i = 0; i < 50; ++i) {
        tree.writeFile("sub/f" + std::to_string(i) + ".jpg", "x");
    }
    const std::string sub = tree.path("sub");
    view.onPump = [&] {
        if (list.count() == 1 && TempTree::exists(sub)) {
            for (int i = 0; i < 50; ++i) {
                ::unlink((sub + "/f" + std::to_string(i) + ".jpg").c_str());
            }
            ::rmdir(sub.c_str());
        }
    };
    CollectFiles(tree.root(), QStringLiteral("*.jpg"), list, true, view);
    EXPECT_FALSE(TempTree::exists(sub));
    EXPECT_LE(list.count(), 50);

    list.clear();
    view.onPump = nullptr;
    CollectFiles(tree.path("nowhere"), QStringLiteral("*"), list, true, view);
    CollectFiles(tree.writeFile("plain.jpg", "x"), QStringLiteral("*"), list, true, view);
    CollectFiles(tree.makeFifo("fifo"), QStringLiteral("*"), list, true, view); // must not block
    CollectFiles("/proc", QStringLiteral("*"), list, true, view);
    CollectFiles("/sys", QStringLiteral("*"), list, true, view);
    EXPECT_EQ(list.count(), 0);
}

// Lists `root` in a child process that `prepare` has set up first (another
// user, a lower descriptor limit), so the test program itself keeps its
// rights, and returns the paths found.
std::vector<std::string> listInChild(const std::string &root, const std::function<bool()> &prepare)
{
    int fds[2];
    if (::pipe(fds) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        if (!prepare()) {
            ::_exit(2);
        }
        FileList found;
        SilentSearchView silent;
        StopFlag = 0;
        CollectFiles(root, QStringLiteral("*.jpg"), found, true, silent);
        for (const auto &path : found.paths()) {
            if (::write(fds[1], path.c_str(), path.size() + 1) < 0) {
                ::_exit(3);
            }
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string all;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
        all.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::vector<std::string> paths;
    for (std::size_t start = 0, end; (end = all.find('\0', start)) != std::string::npos; start = end + 1) {
        paths.push_back(all.substr(start, end - start));
    }
    return paths;
}

// Lists `root` as the user "nobody", since root reads every folder whatever
// its mode.
std::vector<std::string> listAsNobody(const std::string &root)
{
    return listInChild(root, [] { return ::setgid(65534) == 0 && ::setuid(65534) == 0; });
}

TEST_F(CollectFilesTest, TreesDeeperThanTheDescriptorLimitAreListedDownToTheLongestPath)
{
    // Folders d/d/d/... down to where a file's path just fits in PATH_MAX, far
    // more levels than the child may hold descriptors.
    constexpr rlim_t kDescriptorLimit = 200;
    const std::size_t depth = (PATH_MAX - 1 - tree.root().size() - std::strlen("/x.jpg")) / 2;
    ASSERT_GT(depth, 4 * kDescriptorLimit);
    std::vector<std::string> expected;
    std::string folder = tree.root();
    int at = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (std::size_t level = 1; level <= depth && at >= 0; ++level) {
        ASSERT_EQ(::mkdirat(at, "d", 0755), 0) << level;
        const int next = ::openat(at, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(at);
        at = next;
        folder += "/d";
        if (level % 150 == 0 || level == depth) {
            const int file = ::openat(at, "x.jpg", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            ASSERT_GE(file, 0) << level;
            ::close(file);
            expected.push_back(folder + "/x.jpg");
        }
    }
    ASSERT_GE(at, 0);
    ::close(at);
    ASSERT_LT(expected.back().size(), std::size_t(PATH_MAX));

    const auto found = listInChild(tree.root(), [&] {
        struct rlimit limit {};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
            return false;
        }
        limit.rlim_cur = kDescriptorLimit;
        return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
    });
    EXPECT_EQ(sorted(found), sorted(expected));

    // Taken down from the top, a level at a time, so no long path is walked.
    const int root = ::open(tree.root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (::renameat(root, "d/d", root, "next") == 0 || errno == ENOENT) {
        ::unlinkat(root, "d/x.jpg", 0);
        ::unlinkat(root, "d", AT_REMOVEDIR);
        if (::renameat(root, "next", root, "d") != 0) {
            break;
        }
    }
    ::close(root);
}

TEST_F(CollectFilesTest, UnreadableFolderIsSkippedSilently)
{
    const std::string readable = tree.writeFile("a.jpg", "a");
    tree.makeFolder("closed");
    tree.writeFile("closed/secret.jpg", "s");
    tree.makeFolder("open");
    const std::string after = tree.writeFile("open/b.jpg", "b");
    ASSERT_EQ(::chmod(tree.path("closed").c_str(), 0), 0);
    std::vector<std::string> found;
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(tree.root().c_str(), 0755), 0);
        found = listAsNobody(tree.root());
    } else {
        CollectFiles(tree.root(), QStringLiteral("*.jpg"), list, true, view);
        found = list.paths();
    }
    ::chmod(tree.path("closed").c_str(), 0755);
    EXPECT_EQ(sorted(found), sorted({ readable, after }));
}

} // namespace
} // namespace quillmere
