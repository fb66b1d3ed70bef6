#include "platform/trash_location.h"
#include "removal/recycle_bin.h"
#include "support/temp_tree.h"
#include "found_now.h"
#include "trash_home.h"

#include <atomic>
#include <iterator>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace quillmere;
using quillmere::test::TempTree;
using quillmere::test::TrashHome;
using quillmere::test::foundNow;

namespace {

constexpr int kTrials = 200;

ino_t inodeOf(const std::string &path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// The inodes of the regular files under a folder, links not followed.
std::set<ino_t> fileInodesUnder(const std::string &folder)
{
    namespace fs = std::filesystem;
    std::set<ino_t> inodes;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        if (it->is_regular_file(error) && !it->is_symlink(error)) {
            inodes.insert(inodeOf(it->path().native()));
        }
    }
    return inodes;
}

class TrashRace : public ::testing::Test {
protected:
    // An empty home trash, laid out so that it can be watched.
    void emptyTrash() const
    {
        ASSERT_EQ(DataHome(), TrashHome::instance().dataHome()) << "the trash would not be the test's own";
        TrashHome::instance().empty();
        std::filesystem::create_directories(trash + "/files");
        std::filesystem::create_directories(trash + "/info");
    }
    // What each trial leaves in the trash: only the marked file, and only
    // when it was reported trashed, with its info entry; the other file still
    // somewhere in the tree.
    void checkTrial(int trial, const RemovalResult &result, ino_t marked, ino_t other, const std::string &tree)
    {
        const std::set<ino_t> trashed = fileInodesUnder(trash + "/files");
        EXPECT_EQ(trashed.count(other), 0u) << "trial " << trial << ": the other file went to the trash";
        EXPECT_EQ(fileInodesUnder(tree).count(other), 1u) << "trial " << trial << ": the other file is lost";
        EXPECT_EQ(trashed, result.removed() ? std::set<ino_t> {marked} : std::set<ino_t> {}) << "trial " << trial;
        const auto infoEntries = std::distance(std::filesystem::directory_iterator(trash + "/info"), {});
        EXPECT_EQ(infoEntries, result.removed() ? 1 : 0) << "trial " << trial;
        EXPECT_TRUE(result.removed() || result.outcome == RemovalOutcome::Changed || result.outcome == RemovalOutcome::Gone)
            << "trial " << trial;
        EXPECT_TRUE(result.leftAt.empty()) << "trial " << trial;
        removed += result.removed() ? 1 : 0;
    }

    const std::string trash = TrashHome::instance().dataHome() + "/Trash";
    int removed = 0;
};

} // namespace

TEST_F(TrashRace, aFileRenamedOverTheMarkedNameDuringTheMoveNeverStaysInTheTrash)
{
    // Once the trash's info entry appears, that is after every check before
    // the move, a second thread keeps renaming another file over the marked
    // name and back. The marked file keeps a second name, so the racer
    // destroys nothing.
    for (int trial = 0; trial < kTrials; ++trial) {
        ASSERT_NO_FATAL_FAILURE(emptyTrash());
        TempTree local;
        const std::string marked = local.writeFile("marked.jpg", std::string(64, 'm'));
        ASSERT_EQ(::link(marked.c_str(), local.path("marked.keep").c_str()), 0);
        const std::string other = local.writeFile("other.jpg", std::string(64, 'o'));
        const FoundFile found = foundNow(marked);
        const ino_t otherInode = inodeOf(other);

        const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        ASSERT_GE(::inotify_add_watch(watch, (trash + "/info").c_str(), IN_CREATE), 0);
        std::atomic<bool> started {false};
        std::atomic<bool> done {false};
        std::thread racer([&] {
            // Spins until the info entry appears (or the call ends), to
            // answer within the moment between that and the move.
            char events[4096];
            started = true;
            while (!done.load() && ::read(watch, events, sizeof events) <= 0) {
            }
            while (!done.load()) {
                ::rename(other.c_str(), marked.c_str());
                ::rename(marked.c_str(), other.c_str());
            }
        });
        while (!started.load()) {
        }
        const RemovalResult result = RecycleFile(marked, found);
        done = true;
        racer.join();
        ::close(watch);
        checkTrial(trial, result, found.file.inode, otherInode, local.root());
    }
    EXPECT_GT(removed, 0);
}

TEST_F(TrashRace, aFolderFlippedForALinkToALookAlikeNeverSendsTheLookAlikeToTheTrash)
{
    // A second thread keeps exchanging the marked file's folder with a link
    // to another folder that holds a file of the same name and bytes, blind
    // to what the removal does.
    for (int trial = 0; trial < kTrials; ++trial) {
        ASSERT_NO_FATAL_FAILURE(emptyTrash());
        TempTree local;
        local.makeFolder("photos");
        local.makeFolder("lookalike");
        const std::string marked = local.writeFile("photos/marked.jpg", "same bytes");
        const std::string other = local.writeFile("lookalike/marked.jpg", "same bytes");
        local.makeSymlink("flip", "lookalike");
        const FoundFile found = foundNow(marked);
        const ino_t otherInode = inodeOf(other);

        std::atomic<int> flips {0};
        std::atomic<bool> done {false};
        std::thread flipper([&] {
            const int root = ::open(local.root().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            while (!done.load()) {
                ::renameat2(root, "photos", root, "flip", RENAME_EXCHANGE);
                ++flips;
            }
            ::close(root);
        });
        // Already flipping when the removal starts; where it stands then is left to chance.
        while (flips.load() == 0) {
        }
        const RemovalResult result = RecycleFile(marked, found);
        done = true;
        flipper.join();
        checkTrial(trial, result, found.file.inode, otherInode, local.root());
        EXPECT_EQ(fileInodesUnder(local.root()).count(found.file.inode), result.removed() ? 0u : 1u) << "trial " << trial;
    }
    EXPECT_GT(removed, 0);
}
