#include "platform/errors.h"
#include "search/file_list.h"
#include "search/name_mask.h"
#include "search/path_rules.h"

#include <gtest/gtest.h>

namespace quillmere {
namespace {

TEST(NameMask, MatchesWholeNameIgnoringAsciiCase)
{
    const NameMask jpg(QStringLiteral("*.jpg"));
    EXPECT_TRUE(jpg.matches("a.jpg"));
    EXPECT_TRUE(jpg.matches("A.JPG"));
    EXPECT_TRUE(jpg.matches("photo.JpG"));
    EXPECT_TRUE(jpg.matches(".jpg"));
    EXPECT_TRUE(jpg.matches("x.jpg.jpg"));
    EXPECT_FALSE(jpg.matches("a.jpeg"));
    EXPECT_FALSE(jpg.matches("a.jpg.txt"));
    EXPECT_FALSE(jpg.matches("ajpg"));
    EXPECT_FALSE(jpg.matches(""));
    EXPECT_TRUE(NameMask(QStringLiteral("*.png")).matches("SHOT.PNG"));
    EXPECT_FALSE(NameMask(QStringLiteral("*.bmp")).matches("shot.png"));
}

TEST(NameMask, StarsAndQuestionMarks)
{
    EXPECT_TRUE(NameMatchesMask("abc", QStringLiteral("*")));
    EXPECT_TRUE(NameMatchesMask("", QStringLiteral("*")));
    EXPECT_TRUE(NameMatchesMask("abc", QStringLiteral("a*c")));
    EXPECT_TRUE(NameMatchesMask("ac", QStringLiteral("a*c")));
    EXPECT_FALSE(NameMatchesMask("abcd", QStringLiteral("a*c")));
    EXPECT_TRUE(NameMatchesMask("abcbc", QStringLiteral("a*bc")));
    EXPECT_TRUE(NameMatchesMask("a1.jpg", QStringLiteral("a?.jpg")));
    EXPECT_FALSE(NameMatchesMask("a.jpg", QStringLiteral("a?.jpg")));
    EXPECT_FALSE(NameMatchesMask("a12.jpg", QStringLiteral("a?.jpg")));
    EXPECT_TRUE(NameMatchesMask("a12.jpg", QStringLiteral("a**?*?.jpg")));
    // Letters outside ASCII keep their case.
    EXPECT_TRUE(NameMatchesMask("\xC3\xA9.jpg", QStringLiteral("\u00E9.jpg")));
    EXPECT_FALSE(NameMatchesMask("\xC3\x89.jpg", QStringLiteral("\u00E9.jpg")));
    // A long run of stars against a long name finishes at once.
    EXPECT_FALSE(NameMatchesMask(std::string(5000, 'a'), QString(100, QLatin1Char('*')) + QStringLiteral("b")));
}

TEST(NameMask, QuestionMarkTakesOneCharacterOfAByteName)
{
    // "é" is two bytes of UTF-8 but one character; a byte that is not UTF-8
    // counts as one character too.
    EXPECT_TRUE(NameMatchesMask("\xC3\xA9.jpg", QStringLiteral("?.jpg")));
    EXPECT_FALSE(NameMatchesMask("\xC3\xA9.jpg", QStringLiteral("??.jpg")));
    EXPECT_TRUE(NameMatchesMask("\xFF.jpg", QStringLiteral("?.jpg")));
    EXPECT_TRUE(NameMatchesMask("\xFF\xFE.jpg", QStringLiteral("??.jpg")));
    EXPECT_TRUE(NameMatchesMask("bad\xFF.JPG", QStringLiteral("*.jpg")));
    EXPECT_TRUE(NameMatchesMask("line\nbreak.jpg", QStringLiteral("*.jpg")));
}

TEST(SystemFolders, DesignSubstringsAreExactAndCaseSensitive)
{
    EXPECT_FALSE(IsSystemPath("/mnt/c/windows/a.jpg"));
    EXPECT_TRUE(IsSystemPath("/mnt/d/Program Files (x86)/b.jpg"));
    EXPECT_TRUE(IsSystemPath("/home/e/Photos/Windows.jpg"));
    EXPECT_TRUE(IsSystemPath("/home/u/.wine/drive_c/Windows/web/w.jpg"));
    EXPECT_FALSE(IsSystemPath("/home/u/program files/a.jpg"));
}

TEST(SystemFolders, SystemTreesOfThisPlatform)
{
    for (const char *path : { "/usr/share/backgrounds/a.jpg", "/proc/1/x.jpg", "/sys/a.jpg", "/dev/shm/a.jpg",
                              "/run/user/1000/a.jpg", "/etc/a.jpg", "/boot/grub/a.jpg", "/lib/a.jpg", "/lib32/a.jpg",
                              "/lib64/a.jpg", "/bin/a.jpg", "/sbin/a.jpg", "/var/lib/app/a.jpg", "/var/cache/a.jpg",
                              "/snap/app/1/a.jpg", "//usr//share/a.jpg", "/./etc/a.jpg" }) {
        EXPECT_TRUE(IsSystemPath(path)) << path;
    }
    for (const char *path : { "/home/u/usr/a.jpg", "/var/tmp/a.jpg", "/var/library/a.jpg", "/srv/etc/a.jpg",
                              "/usrlocal/a.jpg", "/libraries/a.jpg", "/binary/a.jpg", "/home/u/a.jpg",
                              "relative/usr/a.jpg" }) {
        EXPECT_FALSE(IsSystemPath(path)) << path;
    }
}

TEST(SystemFolders, FilterKeepsOrderOfTheRest)
{
    FileList list;
    RemoveSystemPaths(list);
    EXPECT_EQ(list.count(), 0);

    for (const char *path : { "/home/u/c.jpg", "/usr/share/a.jpg", "/mnt/c/windows/a.jpg",
                              "/mnt/d/Program Files (x86)/b.jpg", "/home/u/b.jpg", "/home/E/Photos/Windows.jpg",
                              "/home/u/a.jpg" }) {
        list.append(path);
    }
    RemoveSystemPaths(list);
    EXPECT_EQ(list.paths(), (std::vector<std::string> { "/home/u/c.jpg", "/mnt/c/windows/a.jpg", "/home/u/b.jpg",
                                                        "/home/u/a.jpg" }));
}

TEST(RecycleFolders, RecyclerIsExactAndTrashFoldersFollowTheDesktopRules)
{
    const std::string dataHome = "/home/u/.local/share";
    EXPECT_TRUE(IsInRecycleFolder("/mnt/c/RECYCLER/S-1-5/a.jpg", dataHome));
    EXPECT_FALSE(IsInRecycleFolder("/mnt/c/Recycler/a.jpg", dataHome));
    EXPECT_TRUE(IsInRecycleFolder("/media/usb/.Trash-1000/files/a.jpg", dataHome));
    EXPECT_TRUE(IsInRecycleFolder("/media/usb/.Trash/1000/files/a.jpg", dataHome));
    EXPECT_FALSE(IsInRecycleFolder("/media/usb/.Trash-x/a.jpg", dataHome));
    EXPECT_FALSE(IsInRecycleFolder("/media/usb/.Trash-/a.jpg", dataHome));
    EXPECT_FALSE(IsInRecycleFolder("/media/usb/.trash/a.jpg", dataHome));
    EXPECT_FALSE(IsInRecycleFolder("/media/usb/My.Trash/a.jpg", dataHome));
    EXPECT_TRUE(IsInRecycleFolder("/home/u/.local/share/Trash/files/a.jpg", dataHome));
    EXPECT_TRUE(IsInRecycleFolder("/home/u//.local/share/./Trash/files/a.jpg", dataHome + "/"));
    EXPECT_FALSE(IsInRecycleFolder("/home/u/.local/share/TrashCan/a.jpg", dataHome));
    EXPECT_FALSE(IsInRecycleFolder("/home/u/Trash/a.jpg", dataHome));
    EXPECT_FALSE(IsInRecycleFolder("/home/u/Pictures/a.jpg", ""));
}

TEST(RecycleFolders, DataHomeComesFromTheEnvironment)
{
    const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("XDG_DATA_HOME", "/data/home");
    EXPECT_EQ(UserDataHome(), "/data/home");
    qputenv("XDG_DATA_HOME", "relative/ignored");
    qputenv("HOME", "/home/someone");
    EXPECT_EQ(UserDataHome(), "/home/someone/.local/share");
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(UserDataHome(), "/home/someone/.local/share");
    oldXdg.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", oldXdg);
    oldHome.isNull() ? qunsetenv("HOME") : qputenv("HOME", oldHome);
}

TEST(FileList, IndexOutsideTheListIsAnErrorAndUpdateModeNests)
{
    FileList list;
    list.append("a");
    EXPECT_EQ(list.at(0), "a");
    EXPECT_THROW(list.at(1), EListError);
    EXPECT_THROW(list.at(-1), EListError);
    {
        FileList::UpdateScope outer(list);
        {
            FileList::UpdateScope inner(list);
            EXPECT_EQ(list.updateDepth(), 2);
        }
        EXPECT_EQ(list.updateDepth(), 1);
    }
    EXPECT_EQ(list.updateDepth(), 0);
}

} // namespace
} // namespace quillmere
