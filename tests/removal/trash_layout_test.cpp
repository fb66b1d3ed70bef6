#include "platform/trash_location.h"
#include "removal/recycle_bin.h"
#include "support/temp_tree.h"
#include "found_now.h"
#include "trash_home.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace quillmere;
using quillmere::test::TempTree;
using quillmere::test::TrashHome;
using quillmere::test::asUnprivilegedUser;
using quillmere::test::foundNow;

namespace {

std::string realPathOf(const std::string &path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? resolved : "";
}

std::vector<std::string> infoLines(const std::string &trash, const std::string &name)
{
    std::istringstream in(TempTree::readFile(trash + "/info/" + name + ".trashinfo"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool isPrivateFolder(const std::string &path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & 07777) == 0700
        && info.st_uid == ::getuid();
}

// A real folder with nothing in it.
bool isEmptyFolder(const std::string &path)
{
    std::error_code error;
    return std::filesystem::is_directory(std::filesystem::symlink_status(path, error))
        && std::filesystem::is_empty(path, error);
}

// A small file system of its own, mounted inside a test folder.
class ScratchVolume {
public:
    explicit ScratchVolume(std::string at)
        : at_(std::move(at))
        , mounted_(::mount("tmpfs", at_.c_str(), "tmpfs", 0, "size=4m,mode=0755") == 0)
        , error_(mounted_ ? 0 : errno)
    {
    }
    ~ScratchVolume()
    {
        if (mounted_) {
            ::umount2(at_.c_str(), MNT_DETACH);
        }
    }
    bool mounted() const { return mounted_; }
    std::string whyNot() const { return std::strerror(error_); }

private:
    std::string at_;
    bool mounted_;
    int error_;
};

class TrashLayout : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(DataHome(), TrashHome::instance().dataHome()) << "the trash would not be the test's own";
        TrashHome::instance().empty();
        ASSERT_FALSE(TempTree::exists(homeTrash));
    }
    const std::string homeTrash = TrashHome::instance().dataHome() + "/Trash";
    const std::string uid = std::to_string(::getuid());
    TempTree tree;
};

// A file system of its own at "volume" in the test's tree; the test is
// skipped where mounting is not allowed.
#define MOUNT_VOLUME_OR_SKIP(volume)                                                                                   \
    const ScratchVolume volume(tree.makeFolder("volume"));                                                             \
    if (!volume.mounted()) {                                                                                           \
        GTEST_SKIP() << "cannot mount a tmpfs here (" << volume.whyNot() << "); the trash of another file system "    \
                     << "is not checked";                                                                              \
    }

} // namespace

TEST_F(TrashLayout, theHomeTrashHoldsTheBytesAndAnInfoEntryWithTheEncodedPathAndTheDate)
{
    const std::string root = realPathOf(tree.root());
    ASSERT_EQ(root.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-"),
              std::string::npos)
        << root << ": the paths expected below are written for a root that needs no encoding";
    tree.makeFolder("sub dir");
    const std::array<std::pair<std::string, std::string>, 3> cases {{
        {"plain.jpg", "plain.jpg"},
        {"a b%#\xc3\xa9+.jpg", "a%20b%25%23%C3%A9%2B.jpg"},
        {"\xff\xfe odd.jpg", "%FF%FE%20odd.jpg"},
    }};
    const std::time_t before = std::time(nullptr);
    for (const auto &[name, encoded] : cases) {
        const std::string path = tree.writeFile("sub dir/" + name, "bytes of " + name);
        ASSERT_TRUE(RecycleFile(path, foundNow(path)).removed()) << name;
        EXPECT_FALSE(TempTree::exists(path));
    }
    const std::time_t after = std::time(nullptr);

    for (const char *folder : {"", "/files", "/info"}) {
        EXPECT_TRUE(isPrivateFolder(homeTrash + folder)) << folder;
    }
    for (const auto &[name, encoded] : cases) {
        EXPECT_EQ(TempTree::readFile(homeTrash + "/files/" + name), "bytes of " + name);
        const std::vector<std::string> lines = infoLines(homeTrash, name);
        ASSERT_EQ(lines.size(), 3u) << name;
        EXPECT_EQ(lines[0], "[Trash Info]");
        EXPECT_EQ(lines[1], "Path=" + root + "/sub%20dir/" + encoded);
        // Local time, to the second, in exactly this form.
        struct tm local {};
        const char *end = ::strptime(lines[2].c_str(), "DeletionDate=%Y-%m-%dT%H:%M:%S", &local);
        ASSERT_TRUE(end != nullptr && *end == '\0') << lines[2];
        EXPECT_EQ(lines[2].size(), std::string("DeletionDate=YYYY-MM-DDThh:mm:ss").size()) << lines[2];
        local.tm_isdst = -1;
        const std::time_t deleted = std::mktime(&local);
        EXPECT_TRUE(deleted >= before && deleted <= after) << lines[2];
    }

    // A name too long to take the info suffix is cut in the trash, before the
    // character the limit falls into; its info entry keeps it whole.
    const std::string longPath = tree.writeFile("sub dir/" + std::string(237, 'x') + "\xc3\xa9.jpg", "long");
    ASSERT_TRUE(RecycleFile(longPath, foundNow(longPath)).removed());
    EXPECT_EQ(TempTree::readFile(homeTrash + "/files/" + std::string(237, 'x')), "long");
    EXPECT_EQ(infoLines(homeTrash, std::string(237, 'x')).at(1),
              "Path=" + root + "/sub%20dir/" + std::string(237, 'x') + "%C3%A9.jpg");

    // A name taken in files/ or in info/, even by a stray entry, makes the
    // entry take the next free number.
    const auto trashCopy = [&](const std::string &folder) {
        const std::string path = tree.writeFile(folder + "plain.jpg", "copy in " + folder);
        EXPECT_TRUE(RecycleFile(path, foundNow(path)).removed()) << folder;
    };
    ASSERT_EQ(::close(::open((homeTrash + "/files/plain.jpg.2").c_str(), O_CREAT | O_WRONLY, 0600)), 0);
    trashCopy("");
    ASSERT_EQ(::close(::open((homeTrash + "/info/plain.jpg.4.trashinfo").c_str(), O_CREAT | O_WRONLY, 0600)), 0);
    trashCopy("sub dir/");
    EXPECT_EQ(TempTree::readFile(homeTrash + "/files/plain.jpg.3"), "copy in ");
    EXPECT_EQ(infoLines(homeTrash, "plain.jpg.3").at(1), "Path=" + root + "/plain.jpg");
    EXPECT_EQ(TempTree::readFile(homeTrash + "/files/plain.jpg.5"), "copy in sub dir/");
    EXPECT_EQ(infoLines(homeTrash, "plain.jpg.5").at(1), "Path=" + root + "/sub%20dir/plain.jpg");
    EXPECT_EQ(TempTree::readFile(homeTrash + "/info/plain.jpg.4.trashinfo"), "");
    EXPECT_FALSE(TempTree::exists(homeTrash + "/files/plain.jpg.4"));
}

TEST_F(TrashLayout, theDesktopsOwnViewOfTheTrashListsTheFileWithItsOriginalPath)
{
    for (const char *needed : {"/usr/bin/gio", "/usr/bin/dbus-run-session", "/usr/libexec/gvfsd-trash"}) {
        if (::access(needed, X_OK) != 0) {
            GTEST_SKIP() << needed << " is missing (Debian's gvfs and dbus, see scripts/install-deps.sh); "
                         << "the trash is not checked through GIO";
        }
    }
    const std::string path = tree.writeFile("seen by gio 100%.jpg", "listed");
    ASSERT_TRUE(RecycleFile(path, foundNow(path)).removed());
    // The child inherits the test's home; the bound only keeps a broken bus from hanging the test.
    std::FILE *gio = ::popen("timeout 120 dbus-run-session -- gio list -a trash::orig-path trash:// 2>/dev/null", "r");
    ASSERT_NE(gio, nullptr);
    std::string listing;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, gio)) > 0;) {
        listing.append(buffer, got);
    }
    ASSERT_EQ(::pclose(gio), 0) << listing;
    EXPECT_NE(listing.find("seen by gio 100%.jpg\t6\t(regular)\ttrash::orig-path=" + realPathOf(tree.root())
                           + "/seen by gio 100%.jpg\n"),
              std::string::npos)
        << listing;
}

TEST_F(TrashLayout, aFileOnAnotherFileSystemGoesToThatFileSystemsOwnTrash)
{
    MOUNT_VOLUME_OR_SKIP(volume);
    const std::string top = tree.path("volume");
    tree.makeFolder("volume/pics");
    const auto trashOnVolume = [&](const std::string &name) {
        const std::string path = tree.writeFile("volume/pics/" + name, "on the volume");
        EXPECT_TRUE(RecycleFile(path, foundNow(path)).removed()) << name;
        EXPECT_FALSE(TempTree::exists(path)) << name;
    };

    // No shared trash there: the user's own, made private, recording paths from the top.
    trashOnVolume("a b.jpg");
    const std::string own = top + "/.Trash-" + uid;
    EXPECT_TRUE(isPrivateFolder(own));
    EXPECT_EQ(TempTree::readFile(own + "/files/a b.jpg"), "on the volume");
    EXPECT_EQ(infoLines(own, "a b.jpg").at(1), "Path=pics/a%20b.jpg");

    // A ".Trash" that is a link, even to a sticky folder, is not used.
    const std::string elsewhere = tree.makeFolder("volume/elsewhere");
    ASSERT_EQ(::chmod(elsewhere.c_str(), 01777), 0);
    tree.makeSymlink("volume/.Trash", "elsewhere");
    trashOnVolume("b.jpg");
    EXPECT_EQ(TempTree::readFile(own + "/files/b.jpg"), "on the volume");
    EXPECT_TRUE(isEmptyFolder(elsewhere));

    // A real shared one with the sticky bit: the user's folder in it is made private and used.
    ASSERT_EQ(::unlink(tree.path("volume/.Trash").c_str()), 0);
    const std::string shared = tree.makeFolder("volume/.Trash");
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    trashOnVolume("c.jpg");
    EXPECT_TRUE(isPrivateFolder(shared + "/" + uid));
    EXPECT_EQ(TempTree::readFile(shared + "/" + uid + "/files/c.jpg"), "on the volume");
    EXPECT_EQ(infoLines(shared + "/" + uid, "c.jpg").at(1), "Path=pics/c.jpg");
    EXPECT_FALSE(TempTree::exists(own + "/files/c.jpg"));

    // The user's folders there as links, or belonging to someone else: the file stays.
    ASSERT_EQ(::rename((shared + "/" + uid).c_str(), tree.path("volume/moved").c_str()), 0);
    tree.makeSymlink("volume/.Trash/" + uid, elsewhere);
    ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
    const std::string kept = tree.writeFile("volume/pics/kept.jpg", "kept");
    EXPECT_EQ(RecycleFile(kept, foundNow(kept)).outcome, RemovalOutcome::TrashRefused);
    EXPECT_EQ(TempTree::readFile(kept), "kept");
    EXPECT_TRUE(isEmptyFolder(elsewhere));

    EXPECT_FALSE(TempTree::exists(homeTrash)) << "nothing may cross into the home trash";
}

TEST_F(TrashLayout, aMoveTheFolderDoesNotAllowLeavesNoInfoEntryBehind)
{
    MOUNT_VOLUME_OR_SKIP(volume);
    const std::string locked = tree.makeFolder("volume/locked");
    const std::string path = tree.writeFile("volume/locked/photo.jpg", "stays");
    const int outcome = asUnprivilegedUser(tree.path("volume"), [&] {
        ::chmod(locked.c_str(), 0555);
        const RemovalResult result = RecycleFile(path, foundNow(path));
        ::chmod(locked.c_str(), 0755);
        return static_cast<int>(result.outcome);
    });
    EXPECT_EQ(outcome, static_cast<int>(RemovalOutcome::TrashRefused));
    EXPECT_EQ(TempTree::readFile(path), "stays");
    const std::string trash = tree.path("volume/.Trash-" + std::to_string(::geteuid() == 0 ? 65534 : ::getuid()));
    EXPECT_TRUE(isEmptyFolder(trash + "/info") && isEmptyFolder(trash + "/files"));
}
