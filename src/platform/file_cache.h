#pragma once

#include "platform/file_cache_key.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

struct sqlite3;

namespace quillmere {

class CacheStatement;
struct WriterStatements;

// What was computed for each file (its picture size, fingerprint, thumbnail,
// content hash), kept between runs in an SQLite database so that a second
// search need not read the file again. A value is found only for a file whose
// key matches exactly and only in the format version asked for.
//
// The cache is a help, never a source of truth: whatever goes wrong with the
// database (missing, corrupt, another schema, locked, read-only, full disk)
// makes it run empty or not at all, with one line on standard error, and no
// call ever fails or blocks for long because of it. Writes go to a thread of
// the cache's own and are committed in batches.
class FileCache {
public:
    static constexpr std::int64_t kDefaultMaxBytes = std::int64_t(1) << 30;

    // `folder` is made (0700) when missing; the database in it is 0600.
    explicit FileCache(const std::string &folder, std::int64_t maxBytes = kDefaultMaxBytes);
    // Writes what is still queued, then closes the database.
    ~FileCache();
    FileCache(const FileCache &) = delete;
    FileCache &operator=(const FileCache &) = delete;

    // Whether the database could be opened; when not, lookups miss and
    // stores are dropped.
    bool enabled() const;
    const std::string &databasePath() const { return databasePath_; }

    // The value of `kind` stored for the file at `key` in format `version`.
    // Values kept for the same file (volume and inode) in another state are
    // dropped: that state of the file no longer exists.
    std::optional<std::string> find(const FileCacheKey &key, std::string_view kind, int version);
    // Queues `value` as the `kind` of the file at `key`, replacing any older one.
    void store(const FileCacheKey &key, std::string_view kind, int version, std::string value);
    // Queues dropping all values of a file that no longer exists.
    void forget(const std::string &volume, std::uint64_t inode);
    // Empties the cache, and returns once it is empty.
    void clear();
    // Returns once every queued write is committed (or dropped).
    void flush();

private:
    struct Write {
        enum class Kind { Store, Touch, Forget, ForgetStale, Clear } what;
        FileCacheKey key;
        std::string kind;
        int version = 0;
        std::string value;
    };

    void open();
    bool tryOpen(std::string &why, bool &broken, bool &locked);
    void disable(const std::string &why);
    void setAside(const std::string &why);
    void closeReader();
    void writeLoop();
    bool writeBatch(std::deque<Write> &batch);
    int evictOverBound();

    std::string folder_;
    std::string databasePath_;
    std::int64_t maxBytes_;

    // Lookups use their own connection, one caller at a time.
    mutable std::mutex readGuard_;
    sqlite3 *reader_ = nullptr;
    std::unique_ptr<CacheStatement> lookup_; // the reader's lookup, compiled at first use
    sqlite3 *writer_ = nullptr; // only the writer thread uses it once started
    std::unique_ptr<WriterStatements> writes_; // the writer thread's, compiled at first use

    std::mutex queueGuard_;
    std::condition_variable queueChanged_;
    std::deque<Write> queue_;
    bool writing_ = false; // a batch taken from the queue is being committed
    bool stopping_ = false;
    bool writesStopped_ = false; // a full disk or a broken database: drop writes
    // The writer's running count of the bytes stored, at least the true
    // count; -1 until the first exact count.
    std::int64_t storedBytes_ = -1;
    bool lastBatchBusy_ = false; // the writer's last batch waited in vain for a lock
    std::atomic<bool> setAside_ = false;
    std::thread writerThread_;
};

// $XDG_CACHE_HOME/quillmere, or ~/.cache/quillmere when it is unset or not an
// absolute path.
std::string DefaultFileCacheFolder();

} // namespace quillmere
