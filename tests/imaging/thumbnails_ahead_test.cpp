#include "imaging/decode_cancel.h"
#include "imaging/thumbnails_ahead.h"
#include "support/picture_fixtures.h"
#include "support/temp_tree.h"
#include "support/threads.h"

#include <gtest/gtest.h>

using namespace quillmere;
using namespace quillmere::test;

namespace {

std::string jpegOf(int width, int height, int seed)
{
    JpegSpec recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.progressive = seed % 2 == 1;
    return encodeJpeg(recipe, [seed](int x, int y) { return qRgb((x + seed * 30) & 255, (y * 3) & 255, seed * 20); });
}

std::string pngOf(int width, int height)
{
    PngSpec recipe;
    recipe.width = width;
    recipe.height = height;
    return encodePng(recipe, [](int x, int y, int channel) { return unsigned((x * (channel + 1) + y) & 255); });
}

void expectSameThumbnails(const DecodedThumbnails &got, const DecodedThumbnails &expected, const std::string &path)
{
    ASSERT_EQ(got.entries.size(), expected.entries.size()) << path;
    for (std::size_t i = 0; i < expected.entries.size(); ++i) {
        EXPECT_EQ(got.entries[i].ownPicture, expected.entries[i].ownPicture) << path;
        EXPECT_EQ(got.entries[i].thumbnail.Image(), expected.entries[i].thumbnail.Image()) << path;
    }
    EXPECT_EQ(got.resolution, expected.resolution) << path;
}

} // namespace

TEST(DecodeCancel, aDecodeAskedToEndShowsNoPictureAndOthersAreUntouched)
{
    TempTree tree;
    for (const std::string &path : {tree.writeFile("a.jpg", jpegOf(900, 700, 1)), tree.writeFile("a.png", pngOf(300, 200))}) {
        std::atomic<bool> cancelled{true};
        {
            const DecodeCancelScope scope(cancelled);
            const DecodedThumbnails stopped = decodeThumbnails(path);
            ASSERT_EQ(stopped.entries.size(), 1u) << path;
            EXPECT_FALSE(stopped.entries[0].ownPicture) << path;
        }
        // Outside the scope the same file decodes whole.
        const DecodedThumbnails whole = decodeThumbnails(path);
        ASSERT_EQ(whole.entries.size(), 1u) << path;
        EXPECT_TRUE(whole.entries[0].ownPicture) << path;
    }
}

TEST(ThumbnailsAhead, everyFileTakenIsItsOwnDecodeBeforeAndAfterACancel)
{
    TempTree tree;
    std::vector<std::string> paths;
    for (int i = 0; i < 16; ++i) {
        paths.push_back(tree.writeFile("f" + std::to_string(i) + ".jpg", jpegOf(640 + i, 480, i)));
    }
    paths.push_back(tree.writeFile("odd.bmp.jpg", pngOf(120, 90))); // two stand-ins
    paths.push_back(tree.path("gone.png"));
    ThumbnailsAhead ahead(paths, 3);
    EXPECT_EQ(ahead.workerCount(), 3);
    std::size_t index = 0;
    for (; index < 6; ++index) {
        ahead.waitFor(index, [] {});
        expectSameThumbnails(ahead.take(index, paths[index]), decodeThumbnails(paths[index]), paths[index]);
    }
    // A path other than the one given for a row is decoded as asked.
    expectSameThumbnails(ahead.take(index, paths[0]), decodeThumbnails(paths[0]), paths[0]);
    ++index;
    // Work cancelled under way is not handed out as stand-ins: the taker
    // decodes what is missing.
    ahead.cancel();
    EXPECT_EQ(threadsNamedAfterJoin(kThumbnailThreadName), 0);
    for (; index < paths.size(); ++index) {
        ahead.waitFor(index, [] { FAIL() << "nothing runs ahead any more"; });
        expectSameThumbnails(ahead.take(index, paths[index]), decodeThumbnails(paths[index]), paths[index]);
    }
}
