#include "platform/file_cache.h"

#include "platform/file_cache_files.h"

#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

namespace quillmere {

// A statement that finalizes itself; `ok()` is false when it did not compile.
class CacheStatement {
public:
    CacheStatement(sqlite3 *db, const char *sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); }
    ~CacheStatement() { sqlite3_finalize(statement_); }
    CacheStatement(const CacheStatement &) = delete;
    CacheStatement &operator=(const CacheStatement &) = delete;

    int prepareResult() const { return rc_; }
    sqlite3_stmt *get() const { return statement_; }
    void bind(int index, std::int64_t value) { sqlite3_bind_int64(statement_, index, value); }
    void bind(int index, std::string_view text)
    {
        sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void bindBlob(int index, const std::string &bytes)
    {
        sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_STATIC);
    }
    // Binds volume, inode and kind to ?1, ?2, ?3.
    void bindFile(std::string_view volume, std::uint64_t inode, std::string_view kind)
    {
        bind(1, volume);
        bind(2, static_cast<std::int64_t>(inode));
        bind(3, kind);
    }
    int step() { return rc_ == SQLITE_OK ? sqlite3_step(statement_) : rc_; }
    // Ready to run again with new bindings; frees what the last run held.
    void reset()
    {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    std::int64_t column(int index) const { return sqlite3_column_int64(statement_, index); }

private:
    sqlite3_stmt *statement_ = nullptr;
    int rc_ = SQLITE_OK;
};

// The writer thread's statements, compiled once for all its batches: most
// batches are a few values, and compiling cost more than writing them.
struct WriterStatements {
    explicit WriterStatements(sqlite3 *db)
        : store(db,
                "INSERT OR REPLACE INTO entries(volume, inode, kind, size, modified_ns, changed_ns, "
                "version, used, bytes, value) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, "
                "(SELECT coalesce(max(used), 0) + 1 FROM entries), ?8, ?9)")
        , touch(db,
                "UPDATE entries SET used = (SELECT max(used) + 1 FROM entries) "
                "WHERE volume = ?1 AND inode = ?2 AND kind = ?3")
        , forget(db, "DELETE FROM entries WHERE volume = ?1 AND inode = ?2")
        , forgetStale(db,
                      "DELETE FROM entries WHERE volume = ?1 AND inode = ?2 "
                      "AND NOT (size = ?3 AND modified_ns = ?4 AND changed_ns = ?5)")
        , clear(db, "DELETE FROM entries")
    {
    }
    CacheStatement store;
    CacheStatement touch;
    CacheStatement forget;
    CacheStatement forgetStale;
    CacheStatement clear;
};

namespace {

// The layout of the database; another number in user_version means another
// program (or another version of this one) wrote it, and it is set aside.
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 2000;
// While opening, short waits in a few tries: together no longer than one
// ordinary wait, so a database held locked keeps the start from hanging.
constexpr int kOpenBusyTimeoutMs = 100;
constexpr std::size_t kWritesPerTransaction = 512;
constexpr int kOpenTries = 16;
constexpr useconds_t kOpenRetryPauseUs = 50'000;

const char *const kSchema = R"(
CREATE TABLE IF NOT EXISTS entries(
  volume TEXT NOT NULL, inode INTEGER NOT NULL, kind TEXT NOT NULL,
  size INTEGER NOT NULL, modified_ns INTEGER NOT NULL, changed_ns INTEGER NOT NULL,
  version INTEGER NOT NULL, used INTEGER NOT NULL, bytes INTEGER NOT NULL, value BLOB NOT NULL,
  UNIQUE(volume, inode, kind));
CREATE INDEX IF NOT EXISTS entries_by_use ON entries(used);
)";

using Statement = CacheStatement;

int execute(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// Results that mean the file is not (or no longer) a database this program can use.
bool isBroken(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_SCHEMA;
}

bool isLocked(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

std::string describe(sqlite3 *db, int rc)
{
    return db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
}

sqlite3 *openConnection(const std::string &path, int busyTimeoutMs, int &rc)
{
    sqlite3 *db = nullptr;
    rc = sqlite3_open_v2(
        path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, busyTimeoutMs);
        sqlite3_extended_result_codes(db, 1);
    }
    return db;
}

} // namespace

std::string DefaultFileCacheFolder()
{
    const char *cacheHome = std::getenv("XDG_CACHE_HOME");
    if (cacheHome != nullptr && cacheHome[0] == '/') {
        return std::string(cacheHome) + "/quillmere";
    }
    std::string home;
    if (const char *fromEnvironment = std::getenv("HOME"); fromEnvironment != nullptr && fromEnvironment[0] == '/') {
        home = fromEnvironment;
    } else if (const passwd *user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr) {
        home = user->pw_dir;
    }
    return home.empty() ? std::string() : home + "/.cache/quillmere";
}

FileCache::FileCache(const std::string &folder, std::int64_t maxBytes)
    : folder_(folder)
    , databasePath_(folder + "/cache.sqlite")
    , maxBytes_(maxBytes)
{
    open();
    if (writer_ != nullptr) {
        writerThread_ = std::thread([this] { writeLoop(); });
    }
}

FileCache::~FileCache()
{
    {
        const std::lock_guard lock(queueGuard_);
        stopping_ = true;
    }
    queueChanged_.notify_all();
    if (writerThread_.joinable()) {
        writerThread_.join();
    }
    writes_.reset();
    sqlite3_close_v2(writer_);
    closeReader();
}

void FileCache::closeReader()
{
    lookup_.reset();
    sqlite3_close_v2(reader_);
    reader_ = nullptr;
}

bool FileCache::enabled() const
{
    const std::lock_guard lock(readGuard_);
    return reader_ != nullptr;
}

void FileCache::open()
{
    if (folder_.empty() || folder_[0] != '/') {
        disable("no absolute cache folder");
        return;
    }
    if (std::string problem = MakeCacheFolder(folder_); !problem.empty()) {
        disable(problem);
        return;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (std::string problem = PrepareCacheFile(databasePath_); !problem.empty()) {
            disable(problem);
            return;
        }
        std::string why;
        bool broken = false;
        bool locked = true;
        // Two instances starting at once can both be turned away from a lock
        // without waiting (SQLite does so where waiting could deadlock); a few
        // more tries sort that out, a lock held all along leaves the cache off.
        for (int tries = 0; locked && tries < kOpenTries; ++tries) {
            if (tries > 0) {
                ::usleep(kOpenRetryPauseUs);
            }
            if (tryOpen(why, broken, locked)) {
                return;
            }
            sqlite3_close_v2(writer_);
            sqlite3_close_v2(reader_);
            writer_ = reader_ = nullptr;
        }
        if (!broken || attempt > 0) {
            disable(why);
            return;
        }
        setAside(why);
        setAside_ = false; // the new database may be moved aside in turn
    }
}

bool FileCache::tryOpen(std::string &why, bool &broken, bool &locked)
{
    int rc = SQLITE_OK;
    writer_ = openConnection(databasePath_, kOpenBusyTimeoutMs, rc);
    if (rc != SQLITE_OK) {
        why = describe(writer_, rc);
        broken = isBroken(rc);
        locked = isLocked(rc);
        return false;
    }
    // The write-ahead log lets another instance read while this one writes;
    // NORMAL syncing can lose the last commits on power loss, never the database.
    // Values replaced or dropped are overwritten on disk, not only let go of:
    // they show the user's pictures.
    rc = execute(writer_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA secure_delete=ON;");
    std::int64_t version = -1;
    std::int64_t objects = -1;
    if (rc == SQLITE_OK) {
        Statement read(
            writer_, "SELECT (SELECT user_version FROM pragma_user_version), (SELECT count(*) FROM sqlite_master)");
        rc = read.step();
        if (rc == SQLITE_ROW) {
            version = read.column(0);
            objects = read.column(1);
            rc = SQLITE_OK;
        }
    }
    if (rc == SQLITE_OK && version == 0 && objects == 0) {
        // A new database; BEGIN IMMEDIATE keeps two instances from both making it.
        rc = execute(writer_, "BEGIN IMMEDIATE");
        if (rc == SQLITE_OK) {
            rc = execute(writer_, kSchema);
            if (rc == SQLITE_OK) {
                rc = execute(writer_, ("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
            }
            rc = rc == SQLITE_OK ? execute(writer_, "COMMIT") : (execute(writer_, "ROLLBACK"), rc);
        }
        if (rc == SQLITE_OK) {
            Statement read(writer_, "SELECT user_version FROM pragma_user_version");
            version = read.step() == SQLITE_ROW ? read.column(0) : -1;
        }
    }
    if (rc != SQLITE_OK) {
        why = describe(writer_, rc);
        broken = isBroken(rc);
        locked = isLocked(rc);
        return false;
    }
    if (version != kSchemaVersion) {
        why = "written in another format (" + std::to_string(version) + ")";
        broken = true;
        locked = false;
        return false;
    }
    reader_ = openConnection(databasePath_, kBusyTimeoutMs, rc);
    if (rc != SQLITE_OK) {
        why = describe(reader_, rc);
        broken = isBroken(rc);
        locked = isLocked(rc);
        return false;
    }
    sqlite3_busy_timeout(writer_, kBusyTimeoutMs);
    return true;
}

void FileCache::disable(const std::string &why)
{
    std::fprintf(stderr, "quillmere: searching without the cache in %s: %s\n", folder_.c_str(), why.c_str());
}

void FileCache::setAside(const std::string &why)
{
    // The reader and the writer may both find the database broken; one move.
    if (setAside_.exchange(true)) {
        return;
    }
    const std::string aside = MoveCacheAside(databasePath_);
    if (aside.empty()) {
        std::fprintf(
            stderr, "quillmere: the cache %s is %s and cannot be moved aside\n", databasePath_.c_str(), why.c_str());
    } else {
        std::fprintf(stderr, "quillmere: the cache %s was unusable (%s); moved it to %s and started anew\n",
            databasePath_.c_str(), why.c_str(), aside.c_str());
    }
}

std::optional<std::string> FileCache::find(const FileCacheKey &key, std::string_view kind, int version)
{
    std::optional<std::string> found;
    bool stale = false; // values of a file (inode) that is no longer in that state
    {
        const std::lock_guard lock(readGuard_);
        if (reader_ == nullptr) {
            return std::nullopt;
        }
        // Compiled once: a search looks up every file it shows, and compiling
        // the query cost more than running it.
        if (lookup_ == nullptr) {
            lookup_ = std::make_unique<CacheStatement>(reader_,
                "SELECT size, modified_ns, changed_ns, version, value FROM entries "
                "WHERE volume = ?1 AND inode = ?2 AND kind = ?3");
        }
        Statement &select = *lookup_;
        select.bindFile(key.volume, key.inode, kind);
        const int rc = select.step();
        if (rc == SQLITE_ROW) {
            // A value of another state of the file, or of another format, is no value.
            const bool sameState = select.column(0) == key.size && select.column(1) == key.modifiedNs
                && select.column(2) == key.changedNs;
            if (sameState && select.column(3) == version) {
                const void *bytes = sqlite3_column_blob(select.get(), 4);
                const int length = sqlite3_column_bytes(select.get(), 4);
                found.emplace(length > 0 ? static_cast<const char *>(bytes) : "", static_cast<std::size_t>(length));
            }
            stale = !sameState;
        }
        select.reset();
        if (select.prepareResult() != SQLITE_OK) {
            lookup_.reset(); // compiled anew at the next lookup
        }
        if (isBroken(rc)) {
            // Found broken while in use: stop using it, and move it aside so
            // that the next start begins a new one.
            const std::string why = sqlite3_errmsg(reader_);
            closeReader();
            setAside(why);
            const std::lock_guard queueLock(queueGuard_);
            writesStopped_ = true;
        }
    }
    if (found || stale) {
        // A value used is kept longest; the values of a file that changed
        // or is gone (its inode now holds another) are dropped when met.
        Write write { found ? Write::Kind::Touch : Write::Kind::ForgetStale, key, std::string(kind), version, {} };
        const std::lock_guard lock(queueGuard_);
        if (!writesStopped_ && writerThread_.joinable()) {
            queue_.push_back(std::move(write));
            queueChanged_.notify_one();
        }
    }
    return found;
}

void FileCache::store(const FileCacheKey &key, std::string_view kind, int version, std::string value)
{
    const std::lock_guard lock(queueGuard_);
    if (writesStopped_ || !writerThread_.joinable()) {
        return;
    }
    queue_.push_back(Write { Write::Kind::Store, key, std::string(kind), version, std::move(value) });
    queueChanged_.notify_one();
}

void FileCache::forget(const std::string &volume, std::uint64_t inode)
{
    FileCacheKey key;
    key.volume = volume;
    key.inode = inode;
    const std::lock_guard lock(queueGuard_);
    if (writesStopped_ || !writerThread_.joinable()) {
        return;
    }
    queue_.push_back(Write { Write::Kind::Forget, std::move(key), {}, 0, {} });
    queueChanged_.notify_one();
}

void FileCache::clear()
{
    {
        const std::lock_guard lock(queueGuard_);
        if (writesStopped_ || !writerThread_.joinable()) {
            return;
        }
        queue_.push_back(Write { Write::Kind::Clear, {}, {}, 0, {} });
    }
    queueChanged_.notify_one();
    flush();
}

void FileCache::flush()
{
    std::unique_lock lock(queueGuard_);
    queueChanged_.wait(lock, [this] { return (queue_.empty() && !writing_) || !writerThread_.joinable(); });
}

void FileCache::writeLoop()
{
    std::unique_lock lock(queueGuard_);
    while (true) {
        queueChanged_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) {
            return; // stopping, and everything queued is written
        }
        std::deque<Write> batch;
        while (!queue_.empty() && batch.size() < kWritesPerTransaction) {
            batch.push_back(std::move(queue_.front()));
            queue_.pop_front();
        }
        const bool stopped = writesStopped_;
        writing_ = true;
        lock.unlock();
        const bool keepWriting = stopped || writeBatch(batch);
        lock.lock();
        writing_ = false;
        if (!keepWriting) {
            writesStopped_ = true;
            queue_.clear();
        } else if (stopping_ && lastBatchBusy_) {
            // Closing while another instance holds the database: one wait is
            // enough, the rest goes rather than holding the program up.
            queue_.clear();
        }
        queueChanged_.notify_all();
    }
}

bool FileCache::writeBatch(std::deque<Write> &batch)
{
    int rc = execute(writer_, "BEGIN IMMEDIATE");
    lastBatchBusy_ = (rc & 0xff) == SQLITE_BUSY;
    if (lastBatchBusy_) {
        // Another instance held the database past the timeout: these values
        // are only a help, so they go, and later ones are tried again.
        return true;
    }
    if (writes_ == nullptr) {
        writes_ = std::make_unique<WriterStatements>(writer_);
    }
    Statement &store = writes_->store;
    Statement &touch = writes_->touch;
    Statement &forget = writes_->forget;
    Statement &forgetStale = writes_->forgetStale;
    Statement &clear = writes_->clear;
    bool cleared = false;
    for (const Write &write : batch) {
        if (rc != SQLITE_OK) {
            break;
        }
        Statement *statement = nullptr;
        switch (write.what) {
        case Write::Kind::Store:
            statement = &store;
            statement->bindFile(write.key.volume, write.key.inode, write.kind);
            store.bind(4, write.key.size);
            store.bind(5, write.key.modifiedNs);
            store.bind(6, write.key.changedNs);
            store.bind(7, std::int64_t(write.version));
            store.bind(8, static_cast<std::int64_t>(write.value.size()));
            store.bindBlob(9, write.value);
            // A replaced value is counted twice until the next exact count.
            storedBytes_ += static_cast<std::int64_t>(write.value.size());
            break;
        case Write::Kind::Touch:
            statement = &touch;
            statement->bindFile(write.key.volume, write.key.inode, write.kind);
            break;
        case Write::Kind::Forget:
            statement = &forget;
            forget.bind(1, write.key.volume);
            forget.bind(2, static_cast<std::int64_t>(write.key.inode));
            break;
        case Write::Kind::ForgetStale:
            statement = &forgetStale;
            forgetStale.bind(1, write.key.volume);
            forgetStale.bind(2, static_cast<std::int64_t>(write.key.inode));
            forgetStale.bind(3, write.key.size);
            forgetStale.bind(4, write.key.modifiedNs);
            forgetStale.bind(5, write.key.changedNs);
            break;
        case Write::Kind::Clear:
            statement = &clear;
            storedBytes_ = 0;
            cleared = true;
            break;
        }
        rc = statement->step();
        rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
        statement->reset();
    }
    if (rc == SQLITE_OK) {
        rc = evictOverBound();
    }
    if (rc == SQLITE_OK) {
        rc = execute(writer_, "COMMIT");
    }
    if (rc == SQLITE_OK) {
        if (cleared) {
            // An emptied cache gives its space back, and its log holds
            // nothing of what it held.
            execute(writer_, "VACUUM");
            execute(writer_, "PRAGMA wal_checkpoint(TRUNCATE)");
        }
        return true;
    }
    const std::string why = sqlite3_errmsg(writer_);
    execute(writer_, "ROLLBACK");
    storedBytes_ = -1; // what the batch counted was not written
    writes_.reset(); // compiled anew, in case one of them could not be
    if ((rc & 0xff) == SQLITE_BUSY) {
        lastBatchBusy_ = true;
        return true;
    }
    // A full disk, a broken or vanished database: stop writing, searches go on.
    if (isBroken(rc)) {
        setAside(why);
        return false;
    }
    std::fprintf(stderr, "quillmere: no longer writing the cache %s: %s\n", databasePath_.c_str(), why.c_str());
    return false;
}

int FileCache::evictOverBound()
{
    // The running count only ever overestimates (replaced and forgotten
    // values stay in it), so the exact count is taken only when it may be
    // over the bound, not after every batch.
    if (storedBytes_ >= 0 && storedBytes_ <= maxBytes_) {
        return SQLITE_OK;
    }
    Statement total(writer_, "SELECT coalesce(sum(bytes), 0) FROM entries");
    int rc = total.step();
    if (rc != SQLITE_ROW) {
        return rc;
    }
    std::int64_t bytes = total.column(0);
    storedBytes_ = bytes;
    if (bytes <= maxBytes_) {
        return SQLITE_OK;
    }
    // Least recently used first, until the values fit the bound again.
    Statement oldest(writer_, "SELECT rowid, bytes FROM entries ORDER BY used");
    Statement drop(writer_, "DELETE FROM entries WHERE rowid = ?1");
    while (bytes > maxBytes_ && (rc = oldest.step()) == SQLITE_ROW) {
        drop.bind(1, oldest.column(0));
        const int dropped = drop.step();
        sqlite3_reset(drop.get());
        if (dropped != SQLITE_DONE) {
            return dropped;
        }
        bytes -= oldest.column(1);
    }
    storedBytes_ = bytes;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

} // namespace quillmere
