#include "platform/file_cache.h"
#include "support/cache_home.h"
#include "support/temp_tree.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmere {
namespace {

using test::TempTree;

using test::cacheKeyOf;

FileCacheKey madeUpKey(std::uint64_t inode)
{
    return FileCacheKey { "uuid:test-volume", inode, 1000, 1'700'000'000'123'456'789, 1'700'000'000'987'654'321 };
}

std::vector<std::string> asideFiles(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".aside-") != std::string::npos && name.find("-wal") == std::string::npos
            && name.find("-shm") == std::string::npos) {
            names.push_back(name);
        }
    }
    return names;
}

void overwrite(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << path;
}

int lineCount(const std::string &text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class FileCacheTest : public ::testing::Test {
protected:
    TempTree tree;
    std::string folder = tree.path("cache/quillmere");
};

TEST_F(FileCacheTest, FindsAValueOnlyForTheExactStateOfTheFileAndTheFormatAskedFor)
{
    const FileCacheKey key = madeUpKey(7);
    FileCache cache(folder);
    ASSERT_TRUE(cache.enabled());
    cache.store(key, "fingerprint", 3, std::string("\0\1fp", 4));
    cache.store(key, "size", 1, "640x480");
    cache.flush();
    EXPECT_EQ(cache.find(key, "fingerprint", 3), std::string("\0\1fp", 4));
    EXPECT_EQ(cache.find(key, "size", 1), "640x480");

    EXPECT_EQ(cache.find(key, "fingerprint", 2), std::nullopt) << "older format";
    EXPECT_EQ(cache.find(key, "fingerprint", 4), std::nullopt) << "newer format";
    EXPECT_EQ(cache.find(key, "thumbnail", 3), std::nullopt) << "another kind";
    const std::vector<std::function<void(FileCacheKey &)>> changes = {
        [](FileCacheKey &k) { k.inode += 1; },
        [](FileCacheKey &k) { k.changedNs += 1; },
        [](FileCacheKey &k) { k.modifiedNs += 1; },
        [](FileCacheKey &k) { k.size += 1; },
        [](FileCacheKey &k) { k.volume = "dev:8:1"; },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        FileCacheKey changed = key;
        changes[i](changed);
        EXPECT_EQ(cache.find(changed, "size", 1), std::nullopt) << "change " << i;
    }
    // Meeting the file in another state drops every value of the state it
    // left: that state is gone for good.
    cache.flush();
    EXPECT_EQ(cache.find(key, "fingerprint", 3), std::nullopt);
    EXPECT_EQ(cache.find(key, "size", 1), std::nullopt);

    // A newer value of the same kind replaces the older one.
    cache.store(key, "size", 2, "480x640");
    cache.flush();
    EXPECT_EQ(cache.find(key, "size", 1), std::nullopt);
    EXPECT_EQ(cache.find(key, "size", 2), "480x640");
}

TEST_F(FileCacheTest, AFileReplacedWithItsSizeAndModificationTimeKeptIsNotFound)
{
    const std::string picture = tree.writeFile("a.jpg", "first content");
    const FileCacheKey before = cacheKeyOf(picture);
    FileCache cache(folder);
    cache.store(before, "content-hash", 1, "hash of the first");
    cache.flush();
    ASSERT_EQ(cache.find(cacheKeyOf(picture), "content-hash", 1), "hash of the first");

    test::replaceKeepingTimes(picture, "other content");
    const FileCacheKey after = cacheKeyOf(picture);
    ASSERT_EQ(after.size, before.size);
    ASSERT_EQ(after.modifiedNs, before.modifiedNs);
    ASSERT_NE(after.inode, before.inode);
    EXPECT_EQ(cache.find(after, "content-hash", 1), std::nullopt);
}

TEST_F(FileCacheTest, KeepsItsValuesBetweenRunsInAPrivateFolderAndFile)
{
    {
        FileCache cache(folder);
        cache.store(madeUpKey(1), "size", 1, "10x10");
    }
    FileCache again(folder);
    EXPECT_EQ(again.find(madeUpKey(1), "size", 1), "10x10");
    struct stat info { };
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    ASSERT_EQ(::stat(again.databasePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(again.databasePath().rfind(folder + "/", 0), 0u);
}

TEST_F(FileCacheTest, ForgetsAFileAndClearsEverything)
{
    FileCache cache(folder);
    cache.store(madeUpKey(1), "size", 1, "a");
    cache.store(madeUpKey(1), "thumbnail", 1, "b");
    cache.store(madeUpKey(2), "size", 1, "c");
    cache.forget(madeUpKey(1).volume, 1);
    cache.flush();
    EXPECT_EQ(cache.find(madeUpKey(1), "size", 1), std::nullopt);
    EXPECT_EQ(cache.find(madeUpKey(1), "thumbnail", 1), std::nullopt);
    EXPECT_EQ(cache.find(madeUpKey(2), "size", 1), "c");
    cache.clear();
    EXPECT_EQ(cache.find(madeUpKey(2), "size", 1), std::nullopt);
}

TEST_F(FileCacheTest, DropsTheLeastRecentlyUsedValuesPastItsBound)
{
    FileCache cache(folder, 3000);
    const std::string value(1000, 'v');
    for (std::uint64_t inode = 1; inode <= 3; ++inode) {
        cache.store(madeUpKey(inode), "thumbnail", 1, value);
    }
    cache.flush();
    ASSERT_TRUE(cache.find(madeUpKey(1), "thumbnail", 1)); // 1 is now used later than 2 and 3
    cache.flush();
    cache.store(madeUpKey(4), "thumbnail", 1, value);
    cache.flush();
    EXPECT_TRUE(cache.find(madeUpKey(1), "thumbnail", 1));
    EXPECT_FALSE(cache.find(madeUpKey(2), "thumbnail", 1));
    EXPECT_TRUE(cache.find(madeUpKey(3), "thumbnail", 1));
    EXPECT_TRUE(cache.find(madeUpKey(4), "thumbnail", 1));
}

// Each case spoils the database of a cache that held values, then checks that
// the next start moves it aside with one line on standard error and works.
struct Spoiling {
    const char *name;
    std::function<void(const std::string &database)> spoil;
};

class SpoiltCacheTest : public FileCacheTest, public ::testing::WithParamInterface<Spoiling> { };

TEST_P(SpoiltCacheTest, IsMovedAsideAndTheCacheStartsEmpty)
{
    std::string database;
    {
        FileCache cache(folder);
        for (std::uint64_t inode = 1; inode <= 40; ++inode) {
            cache.store(madeUpKey(inode), "thumbnail", 1, std::string(3000, char('a' + inode % 26)));
        }
        database = cache.databasePath();
    }
    ASSERT_FALSE(TempTree::exists(database + "-wal")) << "the last connection merges the log";
    GetParam().spoil(database);

    testing::internal::CaptureStderr();
    FileCache cache(folder);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(lineCount(said), 1) << said;
    EXPECT_EQ(asideFiles(folder).size(), 1u);
    ASSERT_TRUE(cache.enabled());
    EXPECT_EQ(cache.find(madeUpKey(1), "thumbnail", 1), std::nullopt);
    cache.store(madeUpKey(1), "size", 1, "fresh");
    cache.flush();
    EXPECT_EQ(cache.find(madeUpKey(1), "size", 1), "fresh");
}

void truncateTo(const std::string &path, double fraction, off_t extra)
{
    struct stat info { };
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    ASSERT_GT(info.st_size, 8192);
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(info.st_size * fraction) / 4096 * 4096 + extra), 0);
}

INSTANTIATE_TEST_SUITE_P(Spoilings, SpoiltCacheTest,
    ::testing::Values(Spoiling { "Garbage", [](const std::string &db) { overwrite(db, std::string(20000, 'x')); } },
        Spoiling { "TruncatedToWholePages", [](const std::string &db) { truncateTo(db, 0.5, 0); } },
        Spoiling { "TruncatedMidPage", [](const std::string &db) { truncateTo(db, 0.5, 1234); } },
        Spoiling { "NewerVersion",
            [](const std::string &db) {
                sqlite3 *handle = nullptr;
                ASSERT_EQ(sqlite3_open(db.c_str(), &handle), SQLITE_OK);
                EXPECT_EQ(sqlite3_exec(handle, "PRAGMA user_version=99", nullptr, nullptr, nullptr), SQLITE_OK);
                sqlite3_close(handle);
            } },
        Spoiling { "AnotherProgramsDatabase",
            [](const std::string &db) {
                std::filesystem::remove(db);
                sqlite3 *handle = nullptr;
                ASSERT_EQ(sqlite3_open(db.c_str(), &handle), SQLITE_OK);
                EXPECT_EQ(sqlite3_exec(handle, "CREATE TABLE notes(text)", nullptr, nullptr, nullptr), SQLITE_OK);
                sqlite3_close(handle);
            } }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(FileCacheTest, PagesOverwrittenInsideNeverGiveAWrongValue)
{
    std::string database;
    {
        FileCache cache(folder);
        for (std::uint64_t inode = 1; inode <= 40; ++inode) {
            cache.store(madeUpKey(inode), "thumbnail", 1, std::string(3000, 'a'));
        }
        database = cache.databasePath();
    }
    // Header intact, everything after the first page is noise.
    std::string bytes = TempTree::readFile(database);
    for (std::size_t i = 4096; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 7919) >> 3);
    }
    overwrite(database, bytes);

    testing::internal::CaptureStderr();
    FileCache cache(folder);
    for (std::uint64_t inode = 1; inode <= 40; ++inode) {
        const auto found = cache.find(madeUpKey(inode), "thumbnail", 1);
        EXPECT_TRUE(!found || *found == std::string(3000, 'a')) << inode;
    }
    cache.store(madeUpKey(1), "size", 1, "after");
    cache.flush();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(lineCount(said), 1) << said;
    EXPECT_EQ(asideFiles(folder).size(), 1u) << "the next start begins anew";
}

TEST_F(FileCacheTest, ARead_onlyFolderOrFileRunsWithoutTheCache)
{
    {
        FileCache cache(folder);
        cache.store(madeUpKey(1), "size", 1, "kept");
    }
    const std::string database = folder + "/cache.sqlite";
    const std::string before = TempTree::readFile(database);
    for (const bool folderReadOnly : { true, false }) {
        SCOPED_TRACE(folderReadOnly ? "read-only folder" : "read-only file");
        ASSERT_EQ(::chmod(folderReadOnly ? folder.c_str() : database.c_str(), folderReadOnly ? 0500 : 0400), 0);
        testing::internal::CaptureStderr();
        {
            FileCache cache(folder);
            EXPECT_FALSE(cache.enabled());
            EXPECT_EQ(cache.find(madeUpKey(1), "size", 1), std::nullopt);
            cache.store(madeUpKey(2), "size", 1, "dropped");
            cache.clear();
            cache.flush();
        }
        EXPECT_EQ(lineCount(testing::internal::GetCapturedStderr()), 1);
        ASSERT_EQ(::chmod(folderReadOnly ? folder.c_str() : database.c_str(), folderReadOnly ? 0700 : 0600), 0);
        EXPECT_EQ(TempTree::readFile(database), before);
        EXPECT_TRUE(asideFiles(folder).empty());
    }
    const std::string blocked = tree.path("blocked");
    ASSERT_EQ(::mkdir(blocked.c_str(), 0500), 0);
    testing::internal::CaptureStderr();
    FileCache cache(blocked + "/quillmere");
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(cache.enabled());
    EXPECT_FALSE(TempTree::exists(blocked + "/quillmere"));
}

TEST_F(FileCacheTest, TwoProcessesWritingAtOnceBothLand)
{
    constexpr std::uint64_t kPerProcess = 400;
    int release[2];
    ASSERT_EQ(::pipe(release), 0);
    pid_t children[2];
    for (int child = 0; child < 2; ++child) {
        children[child] = ::fork();
        ASSERT_GE(children[child], 0);
        if (children[child] == 0) {
            ::close(release[1]);
            FileCache cache(folder);
            char go = 0;
            // Both start writing when the parent closes the pipe.
            const bool released = ::read(release[0], &go, 1) == 0;
            for (std::uint64_t i = 0; i < kPerProcess; ++i) {
                FileCacheKey key = madeUpKey(i);
                key.volume = "process-" + std::to_string(child);
                cache.store(key, "size", 1, std::string(200, char('0' + child)));
            }
            cache.flush();
            ::_exit(cache.enabled() && released ? 0 : 1);
        }
    }
    ::close(release[0]);
    ::close(release[1]);
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    FileCache cache(folder);
    int missing = 0;
    for (int child = 0; child < 2; ++child) {
        for (std::uint64_t i = 0; i < kPerProcess; ++i) {
            FileCacheKey key = madeUpKey(i);
            key.volume = "process-" + std::to_string(child);
            missing += cache.find(key, "size", 1) != std::string(200, char('0' + child));
        }
    }
    EXPECT_EQ(missing, 0);
}

TEST_F(FileCacheTest, ADatabaseHeldLockedIsLeftAloneAndTheCacheIsOff)
{
    {
        FileCache cache(folder);
        cache.store(madeUpKey(1), "size", 1, "kept");
    }
    sqlite3 *holder = nullptr;
    ASSERT_EQ(sqlite3_open((folder + "/cache.sqlite").c_str(), &holder), SQLITE_OK);
    // Exclusive locking mode keeps the lock of the write after it ends.
    ASSERT_EQ(
        sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;", nullptr, nullptr, nullptr),
        SQLITE_OK);
    testing::internal::CaptureStderr();
    {
        FileCache cache(folder);
        EXPECT_FALSE(cache.enabled());
        EXPECT_EQ(cache.find(madeUpKey(1), "size", 1), std::nullopt);
    }
    EXPECT_EQ(lineCount(testing::internal::GetCapturedStderr()), 1);
    sqlite3_close(holder);
    EXPECT_TRUE(asideFiles(folder).empty());
    FileCache cache(folder);
    EXPECT_EQ(cache.find(madeUpKey(1), "size", 1), "kept");
}

// Closing while another instance holds the write lock waits for it once,
// not once per batch still queued.
TEST_F(FileCacheTest, ClosingWhileAnotherHoldsTheLockWaitsOnlyOnce)
{
    auto cache = std::make_unique<FileCache>(folder);
    ASSERT_TRUE(cache->enabled());
    sqlite3 *holder = nullptr;
    ASSERT_EQ(sqlite3_open((folder + "/cache.sqlite").c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    // Five batches' worth: each would wait the whole busy timeout (2 s).
    for (std::uint64_t inode = 1; inode <= 5 * 512; ++inode) {
        cache->store(madeUpKey(inode), "size", 1, "queued");
    }
    const auto start = std::chrono::steady_clock::now();
    cache.reset();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(waited, std::chrono::seconds(7)) << "a wait per queued batch";
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
}

// A file size limit stands in for a full disk: writes past it fail as they
// would with no space left.
TEST_F(FileCacheTest, AFullDiskStopsWritingAndKeepsWhatWasStored)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FileCache cache(folder);
        cache.store(madeUpKey(1), "size", 1, "before");
        cache.flush();
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit { 256 * 1024, 256 * 1024 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        testing::internal::CaptureStderr();
        for (std::uint64_t inode = 2; inode < 100; ++inode) {
            cache.store(madeUpKey(inode), "thumbnail", 1, std::string(10000, 't'));
        }
        cache.flush();
        cache.store(madeUpKey(100), "size", 1, "after");
        cache.flush();
        const int lines = lineCount(testing::internal::GetCapturedStderr());
        const bool kept = cache.find(madeUpKey(1), "size", 1) == "before";
        // Batches committed before the disk filled stay whole; nothing after it lands.
        bool nothingHalf = !cache.find(madeUpKey(100), "size", 1);
        for (std::uint64_t inode = 2; inode < 100; ++inode) {
            const auto found = cache.find(madeUpKey(inode), "thumbnail", 1);
            nothingHalf = nothingHalf && (!found || *found == std::string(10000, 't'));
        }
        ::_exit(lines == 1 && kept && nothingHalf ? 0 : 10 + lines * 4 + kept * 2 + nothingHalf);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

TEST(FileCacheFolder, IsUnderTheUsersCacheHome)
{
    const test::ScopedCacheHome somewhere("/somewhere/cache");
    EXPECT_EQ(DefaultFileCacheFolder(), "/somewhere/cache/quillmere");
    ::setenv("XDG_CACHE_HOME", "relative/cache", 1);
    EXPECT_EQ(DefaultFileCacheFolder(), std::string(std::getenv("HOME")) + "/.cache/quillmere");
    ::unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(DefaultFileCacheFolder(), std::string(std::getenv("HOME")) + "/.cache/quillmere");
}

} // namespace
} // namespace quillmere
