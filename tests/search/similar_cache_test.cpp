#include "common/stop_flag.h"
#include "listed_by_hand.h"
#include "platform/file_cache.h"
#include "platform/path_text.h"
#include "recording_view.h"
#include "search/similar_search.h"
#include "support/made_up_photos.h"
#include "support/picture_fixtures.h"
#include "support/similar_copies.h"
#include "support/temp_tree.h"

#include <QScopeGuard>
#include <gtest/gtest.h>
#include <set>
#include <sqlite3.h>
#include <sys/stat.h>

namespace quillmere {
namespace {

using test::TempTree;

std::set<std::set<std::string>> setsOf(const SimilarSearchResult &result)
{
    std::set<std::set<std::string>> sets;
    for (const auto &set : result.sets) {
        std::set<std::string> members;
        for (const SimilarFile &file : set) {
            members.insert(textToPath(file.pathText) + " " + std::to_string(file.similarity));
        }
        sets.insert(members);
    }
    return sets;
}

// Gives `to` the stored picture values of `from`, under `to`'s own key: a
// cache that stands for a file is believed as long as the key matches.
void copyStoredPicture(const std::string &database, const std::string &from, const std::string &to)
{
    struct stat a { };
    struct stat b { };
    ASSERT_EQ(::stat(from.c_str(), &a), 0);
    ASSERT_EQ(::stat(to.c_str(), &b), 0);
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    const std::string sql = "UPDATE entries SET value = (SELECT value FROM entries WHERE inode = "
        + std::to_string(a.st_ino) + " AND kind = 'picture') WHERE inode = " + std::to_string(b.st_ino)
        + " AND kind = 'picture'";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_changes(db), 1);
    sqlite3_close(db);
}

int storedCount(const std::string &database, const std::string &kind)
{
    sqlite3 *db = nullptr;
    EXPECT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    sqlite3_stmt *count = nullptr;
    sqlite3_prepare_v2(db, ("SELECT count(*) FROM entries WHERE kind = '" + kind + "'").c_str(), -1, &count, nullptr);
    const int n = sqlite3_step(count) == SQLITE_ROW ? sqlite3_column_int(count, 0) : -1;
    sqlite3_finalize(count);
    sqlite3_close(db);
    return n;
}

TEST(SimilarSearchCache, ASecondSearchReadsTheCacheAndAChangedFileIsReadAgain)
{
    StopFlag = 0; // as the Start handler leaves it
    const auto restore = qScopeGuard([] { StopFlag = 1; });
    TempTree tree;
    const QImage photo = test::madeUpPhoto(1, 640, 480);
    const std::string png = test::pngOf(photo);
    const std::string original = tree.writeFile("original.png", png);
    // The same pixels in other bytes: only a full decode, or its digest in
    // the cache, tells that they are the same picture.
    const std::string same = tree.writeFile(
        "same-pixels.png", png.substr(0, png.size() - 12) + test::pngChunk("tEXt", std::string("Comment\0x", 9))
                               + png.substr(png.size() - 12));
    const std::string resized = tree.writeFile("resized.jpg", test::jpegOf(test::scaledToLongSide(photo, 320)));
    const std::string distinct = tree.writeFile("distinct.jpg", test::jpegOf(test::madeUpPhoto(2, 640, 480)));
    const std::vector<std::string> paths {original, resized, same, distinct};
    ListedFolders listed;
    test::listFolderOf(listed, original);
    test::RecordingView view;
    FileCache cache(tree.path("cache"));
    ASSERT_TRUE(cache.enabled());
    const auto search = [&](FileCache *with) {
        SimilarSearchResult result;
        EXPECT_TRUE(FindSimilarPictures(paths, listed, {}, view, 2, result, with));
        cache.flush();
        return result;
    };

    const SimilarSearchResult plain = search(nullptr);
    ASSERT_EQ(plain.sets.size(), 1u);
    ASSERT_EQ(plain.sets.front().size(), 3u);
    const auto expected = setsOf(plain);
    EXPECT_EQ(expected, (std::set<std::set<std::string>> {{original + " 100", same + " 100",
                                                           resized + " " + std::to_string(plain.sets[0][2].similarity)}}));
    EXPECT_EQ(setsOf(search(&cache)), expected) << "first search, storing";
    EXPECT_EQ(setsOf(search(&cache)), expected) << "second search, from the cache";
    EXPECT_EQ(storedCount(cache.databasePath(), "picture"), 4);
    EXPECT_EQ(storedCount(cache.databasePath(), "pixels"), 2) << "the digests of the two equal pictures";

    // What the cache holds is what the search goes by...
    copyStoredPicture(cache.databasePath(), resized, distinct);
    const auto believed = setsOf(search(&cache));
    EXPECT_NE(believed, expected);
    EXPECT_TRUE(std::any_of(believed.begin(), believed.end(), [&](const auto &set) {
        return std::any_of(set.begin(), set.end(), [&](const std::string &m) { return m.starts_with(distinct); });
    }));
    // ...but only while the file is exactly as it was: a change of status
    // alone (length, modification time and inode kept) reads it again.
    ASSERT_EQ(::chmod(distinct.c_str(), 0600), 0);
    EXPECT_EQ(setsOf(search(&cache)), expected);
}

} // namespace
} // namespace quillmere
