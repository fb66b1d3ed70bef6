#include "common/stop_flag.h"
#include "platform/path_text.h"
#include "removal/hard_link.h"
#include "removal/leftovers.h"
#include "removal/overwrite.h"
#include "search/collect_files.h"
#include "search/file_list.h"
#include "search/search_view.h"
#include "support/temp_tree.h"
#include "found_now.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillmere;
using quillmere::test::TempTree;
using quillmere::test::entriesOf;
using quillmere::test::foundNow;

namespace {

// Runs the overwrite of `path` in a child that is killed at the hook, as a
// power cut or a SIGKILL would end it; true when it died there.
bool overwriteKilled(const std::string &path, bool afterFirstPass)
{
    const FoundFile found = foundNow(path);
    const pid_t child = ::fork();
    if (child == 0) {
        const auto die = [] { ::raise(SIGKILL); };
        if (afterFirstPass) {
            OverwriteAndDeleteFile(path, found, [&](int) { die(); });
        } else {
            OverwriteAndDeleteFile(path, found, {}, die);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// Runs the replacement of `path` by a link to `kept` in a child that is
// killed once the link is ready, before it takes the name.
bool linkKilled(const std::string &path, const std::string &kept)
{
    const FoundFile found = foundNow(path);
    const FoundFile keptFound = foundNow(kept);
    const pid_t child = ::fork();
    if (child == 0) {
        ReplaceWithHardLink(path, found, kept, keptFound, [] { ::raise(SIGKILL); });
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// The listing as the search runs it.
std::vector<std::string> listInto(const std::string &root, std::set<std::string> &listed)
{
    FileList list;
    SilentSearchView view;
    std::vector<std::string> removalFolders;
    StopFlag = 0; // as a running search has it
    CollectFiles(root, QStringLiteral("*"), list, true, view, &removalFolders);
    StopFlag = 1;
    for (const std::string &path : list.paths()) {
        listed.insert(path);
    }
    return removalFolders;
}

} // namespace

TEST(Leftovers, aSearchFinishesWhatAKilledOverwriteLeftAndReportsIt)
{
    TempTree tree;
    const std::string kept = tree.writeFile("kept.jpg", "an unmarked file");
    const std::string written = tree.writeFile("written.jpg", std::string(9000, 'w'));
    tree.makeFolder("sub");
    const std::string untouched = tree.writeFile("sub/untouched.jpg", std::string(9000, 'u'));
    ASSERT_TRUE(overwriteKilled(written, true));
    ASSERT_TRUE(overwriteKilled(untouched, false));
    ASSERT_FALSE(TempTree::exists(written));
    ASSERT_FALSE(TempTree::exists(untouched));

    std::set<std::string> listed;
    const std::vector<std::string> folders = listInto(tree.root(), listed);
    // Nothing inside a removal folder is listed.
    EXPECT_EQ(listed, std::set<std::string> {kept});
    ASSERT_EQ(folders.size(), 2u);

    const std::vector<LeftoverResult> results = FinishLeftovers(folders);
    ASSERT_EQ(results.size(), 2u);
    std::set<LeftoverResult::Action> actions;
    for (const LeftoverResult &result : results) {
        actions.insert(result.action);
        const QString line = LeftoverLine(result);
        EXPECT_TRUE(line.startsWith(ShownPath(result.path))) << line.toStdString();
        if (result.action == LeftoverResult::Action::PutBack) {
            EXPECT_EQ(result.path, untouched);
        } else {
            EXPECT_EQ(NameOfPath(result.path), "written.jpg");
            EXPECT_NE(line.indexOf(QStringLiteral("deleted")), -1) << line.toStdString();
        }
    }
    EXPECT_EQ(actions, (std::set {LeftoverResult::Action::PutBack, LeftoverResult::Action::Finished}));
    EXPECT_EQ(TempTree::readFile(untouched), std::string(9000, 'u'));
    EXPECT_EQ(entriesOf(tree.root()), (std::set<std::string> {"kept.jpg", "sub"}));
    EXPECT_EQ(entriesOf(tree.path("sub")), std::set<std::string> {"untouched.jpg"});
    EXPECT_EQ(TempTree::readFile(kept), "an unmarked file");
}

TEST(Leftovers, anUntouchedFileWhoseNameIsTakenStaysWhereItLies)
{
    TempTree tree;
    const std::string path = tree.writeFile("photo.jpg", "marked");
    ASSERT_TRUE(overwriteKilled(path, false));
    tree.writeFile("photo.jpg", "a new file of that name");
    std::set<std::string> listed;
    const std::vector<LeftoverResult> results = FinishLeftovers(listInto(tree.root(), listed));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].action, LeftoverResult::Action::NameTaken);
    EXPECT_EQ(TempTree::readFile(results[0].path), "marked");
    EXPECT_EQ(TempTree::readFile(path), "a new file of that name");
    EXPECT_NE(LeftoverLine(results[0]).indexOf(ShownPath(results[0].path)), -1);
}

TEST(Leftovers, aFolderOfThatNameThatIsNotThisUsersIsLeftAlone)
{
    TempTree tree;
    const std::string open = tree.makeFolder(".quillmere-removing-0123456789abcdef");
    tree.writeFile(".quillmere-removing-0123456789abcdef/inside.jpg", "open to all");
    ASSERT_EQ(::chmod(open.c_str(), 0755), 0);
    const std::string foreign = tree.makeFolder(".quillmere-removing-1111111111111111");
    tree.writeFile(".quillmere-removing-1111111111111111/inside.jpg", "another user's");
    ASSERT_EQ(::chmod(foreign.c_str(), 0700), 0);
    ASSERT_EQ(::chown(foreign.c_str(), ::geteuid() + 1, ::getegid()), 0);
    const std::string target = tree.makeFolder("target");
    ASSERT_EQ(::chmod(target.c_str(), 0700), 0);
    tree.writeFile("target/inside.jpg", "behind a link");
    tree.makeSymlink(".quillmere-removing-2222222222222222", target);

    std::set<std::string> listed;
    EXPECT_TRUE(listInto(tree.root(), listed).empty());
    EXPECT_EQ(listed, std::set<std::string> {tree.path("target/inside.jpg")});
    // Handed over all the same, none of them is touched.
    for (const char *name :
         {".quillmere-removing-0123456789abcdef", ".quillmere-removing-1111111111111111",
          ".quillmere-removing-2222222222222222"}) {
        const std::vector<LeftoverResult> results = FinishLeftovers({tree.path(name)});
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].action, LeftoverResult::Action::LeftAlone) << name;
    }
    EXPECT_EQ(TempTree::readFile(open + "/inside.jpg"), "open to all");
    EXPECT_EQ(TempTree::readFile(foreign + "/inside.jpg"), "another user's");
    EXPECT_EQ(TempTree::readFile(target + "/inside.jpg"), "behind a link");
    EXPECT_EQ(entriesOf(tree.root()).size(), 4u);
}

// Cut short before or after the link took the marked name: what is left
// inside holds the bytes that stay under the name, so it goes.
TEST(Leftovers, whatAKilledLinkLeftGoesWhenItsNameHoldsTheSameBytes)
{
    for (const bool tookTheName : {false, true}) {
        TempTree tree;
        const std::string kept = tree.writeFile("kept.jpg", "same");
        const std::string marked = tree.writeFile("marked.jpg", "same");
        ASSERT_TRUE(linkKilled(marked, kept));
        std::set<std::string> listed;
        const std::vector<std::string> folders = listInto(tree.root(), listed);
        ASSERT_EQ(folders.size(), 1u);
        if (tookTheName) {
            const std::string inside = folders[0] + "/marked.jpg";
            ASSERT_EQ(::renameat2(AT_FDCWD, inside.c_str(), AT_FDCWD, marked.c_str(), RENAME_EXCHANGE), 0);
        }
        const std::vector<LeftoverResult> results = FinishLeftovers(folders);
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].action, LeftoverResult::Action::Surplus);
        EXPECT_EQ(results[0].path, marked);
        EXPECT_EQ(entriesOf(tree.root()), (std::set<std::string> {"kept.jpg", "marked.jpg"}));
        EXPECT_EQ(TempTree::readFile(marked), "same");
        struct stat info {};
        ASSERT_EQ(::stat(kept.c_str(), &info), 0);
        EXPECT_EQ(info.st_nlink, tookTheName ? 2u : 1u);
    }
}
