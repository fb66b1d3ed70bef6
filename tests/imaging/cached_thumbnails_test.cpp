#include "imaging/cached_thumbnails.h"

#include "imaging/image_list.h"
#include "platform/file_cache.h"
#include "support/cache_home.h"
#include "support/exif_writer.h"
#include "support/picture_samples.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmere {
namespace {

using test::TempTree;

// What a row shows of the thumbnails: the list entries, which of them the
// row shows, and the resolution text.
struct Shown {
    std::vector<QImage> entries;
    int shownIndex = -1;
    bool ownPicture = false;
    std::optional<QString> resolution;
};

Shown shown(const DecodedThumbnails &thumbnails)
{
    TImageList list;
    const ThumbnailOutcome outcome = addThumbnails(thumbnails, list);
    Shown result {{}, outcome.shownIndex, outcome.showsOwnPicture, outcome.resolution};
    for (int i = 0; i < list.Count(); ++i) {
        result.entries.push_back(list.Entry(i));
    }
    return result;
}

void expectSame(const Shown &got, const Shown &want, const std::string &what)
{
    ASSERT_EQ(got.entries.size(), want.entries.size()) << what;
    for (std::size_t i = 0; i < got.entries.size(); ++i) {
        EXPECT_TRUE(got.entries[i] == want.entries[i]) << what << " entry " << i;
    }
    EXPECT_EQ(got.shownIndex, want.shownIndex) << what;
    EXPECT_EQ(got.ownPicture, want.ownPicture) << what;
    EXPECT_EQ(got.resolution, want.resolution) << what;
}

class CachedThumbnailsTest : public ::testing::Test {
protected:
    TempTree tree;
    FileCache cache {tree.path("cache")};
};

TEST_F(CachedThumbnailsTest, RowsShowTheSamePixelsWithAndWithoutTheCache)
{
    ASSERT_TRUE(cache.enabled());
    std::vector<std::string> paths;
    for (const auto &[name, sample] : test::samples()) {
        paths.push_back(tree.writeFile("sample-" + name.toStdString() + ".pic", sample.write(320, 240)));
    }
    const std::string jpeg = test::samples().at(QStringLiteral("JPEG")).write(320, 240);
    // Turned by its orientation, named for two formats, broken, and another
    // format under a JPEG name.
    paths.push_back(tree.writeFile("turned.jpg", test::jpegWithExif(jpeg, test::exifBlockWithOrientation(6))));
    paths.push_back(tree.writeFile("photo.bmp.jpg", jpeg));
    paths.push_back(tree.writeFile("broken.jpg", jpeg.substr(0, jpeg.size() / 3)));
    paths.push_back(tree.writeFile("no-picture.jpg", std::string(400, 'x')));
    paths.push_back(tree.writeFile("png-inside.jpg", test::samples().at(QStringLiteral("PNG")).write(100, 50)));
    for (std::string &path : paths) {
        // The names above only keep the files apart; each is read under a
        // name its format is searched by, as a search lists it.
        if (path.ends_with(".pic")) {
            const std::string named = path.substr(0, path.size() - 4) + ".jpg";
            ASSERT_EQ(::rename(path.c_str(), named.c_str()), 0);
            path = named;
        }
    }
    for (const std::string &path : paths) {
        const Shown plain = shown(decodeThumbnails(path));
        ASSERT_FALSE(plain.entries.empty()) << path;
        expectSame(shown(cachedThumbnails(path, &cache)), plain, path + " (stored)");
        cache.flush();
        // Only pictures are kept: a file showing the stand-in is read again.
        EXPECT_EQ(cache.find(test::cacheKeyOf(path), kThumbnailsCacheKind, kThumbnailsCacheVersion).has_value(),
                  plain.ownPicture)
            << path;
        expectSame(shown(cachedThumbnails(path, &cache)), plain, path + " (from the cache)");
    }
}

TEST_F(CachedThumbnailsTest, AStoredValueIsUsedOnlyForTheFileExactlyAsItWas)
{
    const auto &write = test::samples().at(QStringLiteral("JPEG")).write;
    const std::string path = tree.writeFile("photo.jpg", write(320, 240));
    const std::string other = tree.writeFile("other.jpg", write(200, 100));
    const Shown own = shown(decodeThumbnails(path));
    const Shown others = shown(decodeThumbnails(other));
    const auto plantOthers = [&] {
        cache.store(test::cacheKeyOf(path), kThumbnailsCacheKind, kThumbnailsCacheVersion,
                    *thumbnailsValue(decodeThumbnails(other)));
        cache.flush();
    };

    // A value under the file's key stands for the file: it is not decoded.
    plantOthers();
    expectSame(shown(cachedThumbnails(path, &cache)), others, "planted");
    // Another state of the file, even with its length and modification
    // time: its status changed (the mode, or a new file renamed over it).
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    expectSame(shown(cachedThumbnails(path, &cache)), own, "after chmod");
    plantOthers();
    test::replaceKeepingTimes(path, TempTree::readFile(path));
    expectSame(shown(cachedThumbnails(path, &cache)), own, "after a replacement");
    // A damaged value or one of another version is decoded afresh.
    for (const std::string &damaged : {std::string("garbage"), thumbnailsValue(decodeThumbnails(other))->substr(0, 40),
                                       *thumbnailsValue(decodeThumbnails(other)) + "x"}) {
        cache.store(test::cacheKeyOf(path), kThumbnailsCacheKind, kThumbnailsCacheVersion, damaged);
        cache.flush();
        expectSame(shown(cachedThumbnails(path, &cache)), own, "damaged");
    }
    cache.store(test::cacheKeyOf(path), kThumbnailsCacheKind, kThumbnailsCacheVersion + 1,
                *thumbnailsValue(decodeThumbnails(other)));
    cache.flush();
    expectSame(shown(cachedThumbnails(path, &cache)), own, "another version");
}

// A file system of its own, so small that the cache fills it: the search
// goes on and shows every row as without the cache. Mounted in a mount
// namespace of a child process of its own, so nothing outlives the test.
TEST(CachedThumbnailsOnAFullDisk, TheSearchGoesOnAndShowsEveryRowAlike)
{
    TempTree tree;
    const std::string tiny = tree.makeFolder("tiny");
    const auto &write = test::samples().at(QStringLiteral("JPEG")).write;
    std::vector<std::string> paths;
    for (int i = 0; i < 40; ++i) {
        paths.push_back(tree.writeFile("photo" + std::to_string(i) + ".jpg", write(320 + i, 240)));
    }
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        const bool mounted = ::unshare(CLONE_NEWNS) == 0
            && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
            && ::mount("tmpfs", tiny.c_str(), "tmpfs", 0, "size=160k") == 0;
        const char answer = mounted ? 'm' : 'n';
        (void)::write(ready[1], &answer, 1);
        if (!mounted) {
            ::_exit(0);
        }
        testing::internal::CaptureStderr();
        int wrong = 0;
        {
            FileCache cache(tiny + "/quillmere");
            for (const std::string &path : paths) {
                const Shown plain = shown(decodeThumbnails(path));
                const Shown cached = shown(cachedThumbnails(path, &cache));
                cache.flush();
                wrong += cached.entries != plain.entries || cached.resolution != plain.resolution;
            }
            for (const std::string &path : paths) {
                wrong += shown(cachedThumbnails(path, &cache)).entries != shown(decodeThumbnails(path)).entries;
            }
        }
        const std::string said = testing::internal::GetCapturedStderr();
        const bool oneLine = std::count(said.begin(), said.end(), '\n') == 1
            && said.find("no longer writing the cache") != std::string::npos;
        ::_exit(wrong == 0 && oneLine ? 0 : 1 + (wrong > 0) * 2 + !oneLine * 4);
    }
    ::close(ready[1]);
    char answer = 0;
    (void)::read(ready[0], &answer, 1);
    ::close(ready[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (answer != 'm') {
        GTEST_SKIP() << "no small file system could be mounted here (mount namespaces need root); "
                        "the full-disk case is left to FileCacheTest's file size limit";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

} // namespace
} // namespace quillmere
