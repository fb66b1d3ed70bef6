#include "app/stop_flag.h"
#include "platform/directory_reader.h"
#include "recording_view.h"
#include "search/collect_files.h"
#include "search/file_list.h"
#include "support/temp_tree.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
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

TEST_F(CollectFilesTest, ListsOnlyRegularMatchingFilesAndNeverFollowsLinks)
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
    tree.makeSymlink("dangling.jpg", tree.path("missing.jpg"));
    const std::string oddBytes = tree.writeFile("bad\xFF\xFE.jpg", "x");
    const std::string lineBreak = tree.writeFile("line\nbreak.jpg", "y");

    CollectFiles(tree.root(), QStringLiteral("*.jpg"), list, true, view);

    EXPECT_EQ(sorted(list.paths()), sorted({ a, upper, hidden, nested, deep, inHidden, oddBytes, lineBreak }));
    EXPECT_EQ(list.updateDepth(), 0);
    // A subfolder is listed whole at the point where its name comes up.
    const auto &paths = list.paths();
    const auto firstNested = std::find(paths.begin(), paths.end(), nested);
    const auto firstDeep = std::find(paths.begin(), paths.end(), deep);
    EXPECT_EQ(std::abs(std::distance(firstNested, firstDeep)), 1);
}

TEST_F(CollectFilesTest, SeparatorIsAppendedOnlyWhenMissing)
{
    const std::string a = tree.writeFile("a.jpg", "a");
    CollectFiles(tree.root(), QStringLiteral("*.jpg"), list, false, view);
    CollectFiles(tree.root() + "/", QStringLiteral("*.jpg"), list, false, view);
    EXPECT_EQ(list.paths(), (std::vector<std::string> { a, a }));
}

TEST_F(CollectFilesTest, WithoutRecursionSubfoldersAreIgnoredAndLabelsStay)
{
    const std::string a = tree.writeFile("a.jpg", "a");
    tree.makeFolder("sub");
    tree.writeFile("sub/b.jpg", "b");
    CollectFiles(tree.root(), QStringLiteral("*.jpg"), list, false, view);
    EXPECT_EQ(list.paths(), std::vector<std::string> { a });
    EXPECT_TRUE(view.only("label").empty());
}

TEST_F(CollectFilesTest, PumpsAfterEachFileAddedAndEachAdvance)
{
    tree.writeFile("a.jpg", "a");
    tree.writeFile("b.jpg", "b");
    tree.writeFile("c.txt", "c");
    CollectFiles(tree.root(), QStringLiteral("*.jpg"), list, false, view);
    // Five entries (".", "..", three files): five advances, two files added.
    EXPECT_EQ(view.pumps, 7);
}

TEST_F(CollectFilesTest, LabelsShowEachFinishedSubfolderAndTheCount)
{
    tree.writeFile("a.jpg", "a");
    tree.makeFolder("sub");
    tree.writeFile("sub/b.jpg", "b");
    tree.writeFile("sub/c.jpg", "c");
    CollectFiles(tree.root(), QStringLiteral("*.jpg"), list, true, view);
    const std::string root = tree.root();
    EXPECT_EQ(view.only("label1"), std::vector<std::string> { "label1 Files Search: " + root + "/sub" });
    const auto counts = view.only("label3");
    ASSERT_EQ(counts.size(), 1u);
    // "a.jpg" may come before or after the subfolder.
    EXPECT_TRUE(counts[0] == "label3 Found files: 2" || counts[0] == "label3 Found files: 3") << counts[0];
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
    // No level reads on after the stop: the only events left are the labels
    // of the subfolders being left.
    ASSERT_GT(stopAt, 0u);
    for (std::size_t i = stopAt; i < view.events.size(); ++i) {
        EXPECT_EQ(view.events[i].rfind("label", 0), 0u) << view.events[i];
    }
}

TEST_F(CollectFilesTest, StopAfterASubfolderEndsTheListing)
{
    tree.makeFolder("sub");
    tree.makeFolder("sub/inner");
    tree.writeFile("a.txt", "x");
    tree.writeFile("b.txt", "x");
    int finished = 0;
    // The first finished subfolder (the label write) is followed by the stop test.
    struct StopOnLabel : RecordingView {
        int *finished;
        void setLabel1(const QString &text) override
        {
            RecordingView::setLabel1(text);
            ++*finished;
            StopFlag = 1;
        }
    } stopping;
    stopping.finished = &finished;
    CollectFiles(tree.root(), QStringLiteral("*"), list, true, stopping);
    // "inner" finishes and stops "sub"; "sub" finishes and stops the root.
    EXPECT_EQ(finished, 2);
    EXPECT_EQ(stopping.only("label1").back(), "label1 Files Search: " + tree.root() + "/sub");
}

TEST_F(CollectFilesTest, FolderVanishingWhileReadEndsItsListing)
{
    tree.makeFolder("sub");
    for (int i = 0; i < 50; ++i) {
        tree.writeFile("sub/f" + std::to_string(i) + ".jpg", "x");
    }
    tree.makeFolder("sub/child");
    const std::string sub = tree.path("sub");
    bool removed = false;
    view.onPump = [&] {
        if (!removed && list.count() == 1) {
            removed = true;
            for (int i = 0; i < 50; ++i) {
                ::unlink((sub + "/f" + std::to_string(i) + ".jpg").c_str());
            }
            ::rmdir((sub + "/child").c_str());
            ::rmdir(sub.c_str());
        }
    };
    CollectFiles(tree.root(), QStringLiteral("*.jpg"), list, true, view);
    EXPECT_TRUE(removed);
    EXPECT_GE(list.count(), 1);
    EXPECT_LE(list.count(), 50);
}

TEST_F(CollectFilesTest, MissingOrEmptyFolderListsNothing)
{
    CollectFiles(tree.path("nowhere"), QStringLiteral("*.jpg"), list, true, view);
    CollectFiles(tree.writeFile("plain.jpg", "x"), QStringLiteral("*.jpg"), list, true, view);
    EXPECT_EQ(list.count(), 0);
}

TEST_F(CollectFilesTest, StartFolderGivenAsALinkIsListedUnderTheLinkName)
{
    tree.makeFolder("real");
    tree.writeFile("real/a.jpg", "a");
    const std::string link = tree.makeSymlink("alias", tree.path("real"));
    CollectFiles(link, QStringLiteral("*.jpg"), list, true, view);
    EXPECT_EQ(list.paths(), std::vector<std::string> { link + "/a.jpg" });
}

TEST_F(CollectFilesTest, VirtualFileSystemsAreNotEntered)
{
    CollectFiles("/proc", QStringLiteral("*"), list, true, view);
    CollectFiles("/sys", QStringLiteral("*"), list, true, view);
    EXPECT_EQ(list.count(), 0);
    EXPECT_FALSE(DirectoryReader::openPath("/proc/self", true).isOpen());
    EXPECT_TRUE(DirectoryReader::openPath(tree.root(), false).isOpen());
}

// Lists `root` as the unprivileged user "nobody" in a child process (root
// reads every folder whatever its mode) and returns the paths found.
std::vector<std::string> listAsNobody(const std::string &root)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(2);
        }
        FileList found;
        SilentSearchView silent;
        StopFlag = 0;
        CollectFiles(root, QStringLiteral("*.jpg"), found, true, silent);
        for (const auto &path : found.paths()) {
            const std::string record = path + '\0';
            if (::write(pipeFds[1], record.data(), record.size()) < 0) {
                ::_exit(3);
            }
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string all;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        all.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::vector<std::string> paths;
    std::size_t start = 0;
    for (std::size_t end; (end = all.find('\0', start)) != std::string::npos; start = end + 1) {
        paths.push_back(all.substr(start, end - start));
    }
    return paths;
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
