#include "search/name_mask.h"
#include "search/file_list.h"
#include "search/path_rules.h"

#include <gtest/gtest.h>

namespace quillmere {
namespace {

TEST(NameMask, WholeNameWildcardsAndAsciiCase)
{
    const struct {
        const char *name;
        const char *mask;
        bool matches;
    } cases[] = {
        { "a.jpg", "*.jpg", true }, { "A.JPG", "*.jpg", true }, { ".jpg", "*.jpg", true },
        { "a.jpeg", "*.jpg", false }, { "a.jpg.txt", "*.jpg", false }, { "", "*.jpg", false },
        { "SHOT.PNG", "*.png", true }, { "", "*", true }, { "abcbc", "a*bc", true }, { "abcd", "a*c", false },
        { "a1.jpg", "a?.jpg", true }, { "a.jpg", "a?.jpg", false }, { "a12.jpg", "a**?*?.jpg", true },
        // "é" is two bytes but one character; a byte that is not UTF-8 is one character.
        { "\xC3\xA9.jpg", "?.jpg", true }, { "\xC3\xA9.jpg", "??.jpg", false }, { "\xFF\xFE.jpg", "??.jpg", true },
        { "bad\xFF.JPG", "*.jpg", true }, { "line\nbreak.jpg", "*.jpg", true },
        // Only ASCII letters ignore case.
        { "\xC3\x89.jpg", "\xC3\xA9.jpg", false }, { "\xC3\xA9.JPG", "\xC3\xA9.jpg", true },
    };
    for (const auto &c : cases) {
        EXPECT_EQ(NameMatchesMask(c.name, QString::fromUtf8(c.mask)), c.matches) << c.name << " / " << c.mask;
    }
    // Many stars against a long name that fails finish at once.
    EXPECT_FALSE(NameMatchesMask(std::string(5000, 'a'), QString(100, QLatin1Char('*')) + QStringLiteral("b")));
}

TEST(SystemFolders, WindowsNamesAndThisPlatformsTrees)
{
    for (const char *path : { "/mnt/d/Program Files (x86)/b.jpg", "/home/e/Photos/Windows.jpg", "/usr/share/a.jpg",
                              "/proc/1/x.jpg", "/sys/a.jpg", "/dev/shm/a.jpg", "/run/user/1/a.jpg", "/etc/a.jpg",
                              "/boot/a.jpg", "/lib/a.jpg", "/lib32/a.jpg", "/lib64/a.jpg", "/bin/a.jpg", "/sbin/a.jpg",
                              "/var/lib/x/a.jpg", "/var/cache/a.jpg", "/snap/x/a.jpg", "//usr//a.jpg", "/./etc/a.jpg" }) {
        EXPECT_TRUE(IsSystemPath(path)) << path;
    }
    for (const char *path : { "/mnt/c/windows/a.jpg", "/home/u/program files/a.jpg", "/home/u/usr/a.jpg",
                              "/var/tmp/a.jpg", "/var/library/a.jpg", "/usrlocal/a.jpg", "/binary/a.jpg",
                              "relative/usr/a.jpg" }) {
        EXPECT_FALSE(IsSystemPath(path)) << path;
    }

    FileList list;
    for (const char *path : { "/home/u/c.jpg", "/usr/share/a.jpg", "/mnt/c/windows/a.jpg", "/home/u/Windows/b.jpg",
                              "/home/u/a.jpg" }) {
        list.append(path);
    }
    RemoveSystemPaths(list);
    EXPECT_EQ(list.paths(), (std::vector<std::string> { "/home/u/c.jpg", "/mnt/c/windows/a.jpg", "/home/u/a.jpg" }));
}

TEST(RecycleFolders, RecyclerTrashFoldersAndTheDataHomeTrash)
{
    const std::string home = "/home/u/.local/share";
    for (const char *path : { "/mnt/c/RECYCLER/S-1-5/a.jpg", "/media/usb/.Trash-1000/files/a.jpg",
                              "/media/usb/.Trash/1000/files/a.jpg", "/home/u/.local/share/Trash/files/a.jpg",
                              "/home/u//.local/share/./Trash/files/a.jpg" }) {
        EXPECT_TRUE(IsInRecycleFolder(path, home)) << path;
    }
    for (const char *path : { "/mnt/c/Recycler/a.jpg", "/media/usb/.Trash-x/a.jpg", "/media/usb/.Trash-/a.jpg",
                              "/media/usb/.trash/a.jpg", "/home/u/.local/share/TrashCan/a.jpg", "/home/u/Trash/a.jpg" }) {
        EXPECT_FALSE(IsInRecycleFolder(path, home)) << path;
    }

    const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("XDG_DATA_HOME", "/data/home");
    EXPECT_EQ(UserDataHome(), "/data/home");
    qputenv("XDG_DATA_HOME", "relative/is/ignored");
    qputenv("HOME", "/home/someone");
    EXPECT_EQ(UserDataHome(), "/home/someone/.local/share");
    oldXdg.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", oldXdg);
    oldHome.isNull() ? qunsetenv("HOME") : qputenv("HOME", oldHome);
}

} // namespace
} // namespace quillmere
