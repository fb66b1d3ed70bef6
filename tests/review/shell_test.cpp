#include "review/shell.h"

#include <gtest/gtest.h>

// GIO names a struct member "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

using namespace quillmere;

namespace {

// The path a file URI names, as GIO reads it back.
std::string pathOfUri(const QString &uri)
{
    gchar *path = g_filename_from_uri(uri.toLatin1().constData(), nullptr, nullptr);
    std::string result = path != nullptr ? path : "<not a file URI>";
    g_free(path);
    return result;
}

} // namespace

TEST(FolderPart, dropsTheFileNameAndKeepsALeadingOrDoubledSeparator)
{
    EXPECT_EQ(FolderPart("/photos/a.jpg"), "/photos");
    EXPECT_EQ(FolderPart("/home/u/photos/a.jpg"), "/home/u/photos");
    EXPECT_EQ(FolderPart("/a.jpg"), "/");
    EXPECT_EQ(FolderPart("//srv/share/a.jpg"), "//srv/share");
    EXPECT_EQ(FolderPart("//a.jpg"), "//");
    EXPECT_EQ(FolderPart("/photos//a.jpg"), "/photos//");
    EXPECT_EQ(FolderPart("photos/a.jpg"), "photos");
    EXPECT_EQ(FolderPart("/c:/a.jpg"), "/c:") << "a colon is an ordinary character";
    EXPECT_EQ(FolderPart("a.jpg"), "");
    EXPECT_EQ(FolderPart(""), "");
}

TEST(FileUriFromPath, escapesEveryByteSoTheShellGetsTheExactFile)
{
    EXPECT_EQ(FileUriFromPath("/photos/a b#1.jpg"), QStringLiteral("file:///photos/a%20b%231.jpg"));
    EXPECT_EQ(FileUriFromPath("/"), QStringLiteral("file:///"));
    const std::vector<std::string> paths = {"/tmp/\xff\xfe.jpg", "/tmp/caf\xc3\xa9.jpg", "/tmp/line\nbreak?.jpg",
                                            "/tmp/100%.jpg"};
    for (const std::string &path : paths) {
        const QString uri = FileUriFromPath(path);
        EXPECT_TRUE(uri.startsWith(QStringLiteral("file:///"))) << uri.toStdString();
        EXPECT_EQ(pathOfUri(uri), path);
    }
    EXPECT_EQ(FileUriFromPath("/tmp/\xff.jpg"), QStringLiteral("file:///tmp/%FF.jpg"));
    // Only absolute paths name a file without a current folder.
    EXPECT_EQ(FileUriFromPath("photos/a.jpg"), QString());
    EXPECT_EQ(FileUriFromPath(""), QString());
}
