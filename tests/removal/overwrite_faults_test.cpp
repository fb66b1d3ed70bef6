#include "common/random_generator.h"
#include "platform/unique_fd.h"
#include "platform/path_text.h"
#include "removal/overwrite.h"
#include "removal/removal_pass.h"
#include "support/temp_tree.h"
#include "found_now.h"
#include "recording_removal_view.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <set>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillmere;
using quillmere::test::RecordingRemovalView;
using quillmere::test::TempTree;
using quillmere::test::contentOf;
using quillmere::test::entriesOf;
using quillmere::test::foundNow;

namespace {

constexpr uid_t kNobody = 65534;

struct stat statOf(int fd)
{
    struct stat info {};
    ::fstat(fd, &info);
    return info;
}

// Runs as another user: watches `folder` and renames its own file "racer.jpg"
// over every entry whose name looks like the overwrite's, and into it, until
// `stop` is closed. Tells `ready` once it watches and its file exists.
int runRacer(const std::string &folder, int ready, int stop)
{
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
        return 2;
    }
    const int watch = ::inotify_init1(IN_CLOEXEC);
    if (watch < 0 || ::inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MOVED_TO) < 0) {
        return 3;
    }
    const std::string own = folder + "/racer.jpg";
    const int file = ::open(own.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (file < 0 || ::write(file, "racer's own", 11) != 11) {
        return 4;
    }
    ::close(file);
    if (::write(ready, "r", 1) != 1) {
        return 5;
    }
    alignas(inotify_event) char events[4096];
    for (;;) {
        pollfd waits[2] = {{watch, POLLIN, 0}, {stop, POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0 && errno != EINTR) {
            return 6;
        }
        if (waits[1].revents != 0) {
            return 0;
        }
        const ssize_t got = ::read(watch, events, sizeof events);
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(events + at);
            const std::string name = event->len > 0 ? event->name : "";
            if (name.starts_with(".quillmere-removing-")) {
                ::rename(own.c_str(), (folder + "/" + name).c_str());
                ::rename(own.c_str(), (folder + "/" + name + "/marked.jpg").c_str());
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

// Unmounts a small file system when the test ends.
struct SmallFileSystem {
    explicit SmallFileSystem(const std::string &at)
        : path(at)
    {
        mounted = ::mount("quillmere-test", at.c_str(), "tmpfs", 0, "size=1m,mode=0755") == 0;
        error = errno;
    }
    ~SmallFileSystem()
    {
        if (mounted) {
            ::umount2(path.c_str(), MNT_DETACH);
        }
    }
    std::string path;
    bool mounted = false;
    int error = 0;
};

// Fills the file system holding `path` with a file of that name.
void fill(const std::string &path)
{
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    const std::string block(4096, 'f');
    while (::write(fd.get(), block.data(), block.size()) > 0) {
    }
}

} // namespace

TEST(OverwriteFaults, anotherUserRenamingOverThePrivateNameNeverLosesAFileOrTheReport)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "the racer must run as another user, which needs the tests to run as root";
    }
    TempTree tree;
    quillmere::test::letEveryoneThroughAbove(tree.root());
    ASSERT_EQ(::chmod(tree.root().c_str(), 0711), 0);
    constexpr int kTrials = 100;
    for (int trial = 0; trial < kTrials; ++trial) {
        // Anyone may rename entries in this folder: it is writable by all and
        // has no sticky bit.
        const std::string folder = tree.makeFolder("trial" + std::to_string(trial));
        ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
        const std::string marked = tree.writeFile("trial" + std::to_string(trial) + "/marked.jpg",
                                                  std::string(20000, 'm'));
        int ready[2];
        int stop[2];
        ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
        ASSERT_EQ(::pipe2(stop, O_CLOEXEC), 0);
        const pid_t racer = ::fork();
        ASSERT_GE(racer, 0);
        if (racer == 0) {
            ::close(stop[1]);
            ::_exit(runRacer(folder, ready[1], stop[0]));
        }
        ::close(ready[1]);
        ::close(stop[0]);
        char byte = 0;
        const bool racing = ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
        UniqueFd markedView(::open(marked.c_str(), O_RDONLY | O_CLOEXEC));
        UniqueFd racerView(::open((folder + "/racer.jpg").c_str(), O_RDONLY | O_CLOEXEC));
        RemovalResult result;
        if (racing) {
            result = OverwriteAndDeleteFile(marked, foundNow(marked));
        }
        ::close(stop[1]);
        int status = 0;
        ::waitpid(racer, &status, 0);
        ASSERT_TRUE(racing && WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "the racer did not run: status " << status;

        EXPECT_EQ(result.outcome, RemovalOutcome::Removed)
            << "trial " << trial << ": " << RemovalReason(result).toStdString();
        EXPECT_EQ(statOf(markedView.get()).st_nlink, 0u) << "trial " << trial << ": the marked file has a name";
        EXPECT_EQ(statOf(racerView.get()).st_nlink, 1u) << "trial " << trial << ": the racer's file lost its name";
        EXPECT_EQ(contentOf(racerView.get()), "racer's own") << "trial " << trial;
        // The folder holds the racer's file and nothing else. A racer slow to
        // see the private folder made may rename its file to that name once
        // the removal has taken the folder away: still its own file, whole.
        const std::set<std::string> left = entriesOf(folder);
        ASSERT_EQ(left.size(), 1u) << "trial " << trial;
        struct stat named {};
        EXPECT_TRUE(::lstat((folder + "/" + *left.begin()).c_str(), &named) == 0 && S_ISREG(named.st_mode)
                    && named.st_ino == statOf(racerView.get()).st_ino)
            << "trial " << trial << ": " << *left.begin();
    }
}

TEST(OverwriteFaults, aFullDiskNeverPassesForARemovedFile)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting a small file system needs the tests to run as root";
    }
    TempTree tree;
    SmallFileSystem disk(tree.makeFolder("small"));
    if (!disk.mounted) {
        GTEST_SKIP() << "mounting a small file system is not allowed here: " << std::strerror(disk.error);
    }
    // A little data, then a hole far larger than the space left.
    const std::string sparse = disk.path + "/sparse.jpg";
    {
        UniqueFd fd(::open(sparse.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        ASSERT_EQ(::write(fd.get(), std::string(4096, 'd').data(), 4096), 4096);
        ASSERT_EQ(::ftruncate(fd.get(), 4 << 20), 0);
    }
    // Nothing but a hole: even the first write needs a new block.
    const std::string hole = disk.path + "/hole.jpg";
    {
        UniqueFd fd(::open(hole.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        ASSERT_EQ(::ftruncate(fd.get(), 65536), 0);
    }
    fill(disk.path + "/filler");

    // Through the pass, each file the only one of its set, whose loss was
    // agreed to: the report lists neither as removed.
    RemovalPlan plan;
    plan.method = RemovalMethod::HardDrive;
    for (const std::string &path : {hole, sparse}) {
        plan.rows.push_back({pathToText(path), true});
        plan.marked.insert(pathToText(path));
        plan.everyCopyConfirmed.insert(plan.found.setCount());
        plan.found.addSet({{pathToText(path), foundNow(path)}});
    }
    RecordingRemovalView view;
    RandomState() = 7;
    RemoveMarkedFiles(plan, view);
    view.report = test::WithoutSpaceFreed(view.report);
    ASSERT_EQ(view.report.size(), 7) << view.report.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(view.report.mid(0, 3), (QStringList {RemovalHeading(RemovalMethod::HardDrive), QString(),
                                                  QStringLiteral("1 marked file was deleted but not wholly overwritten:")}));
    const std::string reason = view.report[3].toStdString();
    EXPECT_TRUE(view.report[3].startsWith(ShownPath(sparse) + QStringLiteral(" \u2014 "))) << reason;
    EXPECT_NE(reason.find("stopped part way"), std::string::npos) << reason;
    EXPECT_NE(reason.find(std::strerror(ENOSPC)), std::string::npos) << reason;
    EXPECT_EQ(view.report.mid(4, 2), (QStringList {QString(), QStringLiteral("1 marked file was not removed:")}));
    EXPECT_TRUE(view.report[6].startsWith(ShownPath(hole) + QStringLiteral(" \u2014 could not be overwritten")))
        << view.report[6].toStdString();
    EXPECT_EQ(TempTree::readFile(hole), std::string(65536, '\0'));
    EXPECT_FALSE(TempTree::exists(sparse));
    EXPECT_EQ(entriesOf(disk.path), (std::set<std::string> {"filler", "hole.jpg"}));
}

TEST(OverwriteFaults, aFileAnotherProgramWritesIsNeverReportedRemoved)
{
    TempTree tree;
    const std::string original(10000, 'o');
    // Written between the comparison's check and the first write: untouched.
    const std::string early = tree.writeFile("early.jpg", original);
    UniqueFd earlyWriter(::open(early.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    RandomState() = 3;
    const RemovalResult changed = OverwriteAndDeleteFile(early, foundNow(early), {}, [&] {
        ASSERT_EQ(::write(earlyWriter.get(), "more", 4), 4);
    });
    EXPECT_EQ(changed.outcome, RemovalOutcome::Changed);
    EXPECT_EQ(TempTree::readFile(early), original + "more");
    EXPECT_EQ(RandomState(), 3u) << "nothing was overwritten, so nothing was drawn";

    // Written while the passes run: deleted, but not claimed removed.
    const std::string late = tree.writeFile("late.jpg", original);
    UniqueFd lateWriter(::open(late.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    const RemovalResult incomplete = OverwriteAndDeleteFile(late, foundNow(late), [&](int pass) {
        if (pass == 0) {
            ASSERT_EQ(::write(lateWriter.get(), "more", 4), 4);
        }
    });
    EXPECT_EQ(incomplete.outcome, RemovalOutcome::Incomplete);
    EXPECT_NE(RemovalReason(incomplete).indexOf(QStringLiteral("another program")), -1);
    EXPECT_EQ(entriesOf(tree.root()), std::set<std::string> {"early.jpg"});
}
