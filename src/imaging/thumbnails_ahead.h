#pragma once

#include "imaging/compact_memo.h"
#include "imaging/row_thumbnail.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillmere {

class FileCache;

// Decodes the thumbnails of a run of files on worker threads, ahead of the
// one thread that takes them in file order. At most sixteen files per worker
// are decoding or waiting to be taken at any time (one decoding each), so
// memory stays bounded however long the run. Workers read files and make pictures, nothing else:
// adding to the thumbnail list and to tables stays with the taker, so what
// it builds is the same as decoding one file after the other.
class ThumbnailsAhead {
public:
    // With no workers nothing runs ahead: take decodes on the caller's thread.
    // With a cache, thumbnails it holds are taken from it and those decoded
    // are stored in it.
    ThumbnailsAhead(std::vector<std::string> paths, int workers, FileCache *cache = nullptr);
    // Cancels; no worker outlives the object.
    ~ThumbnailsAhead();
    ThumbnailsAhead(const ThumbnailsAhead &) = delete;
    ThumbnailsAhead &operator=(const ThumbnailsAhead &) = delete;

    // Waits while a worker is decoding file index, calling whileWaiting every
    // few milliseconds meanwhile; an exception from it ends the wait. Returns
    // at once when the file is decoded or no worker has it.
    void waitFor(std::size_t index, const std::function<void()> &whileWaiting);
    // File index's thumbnails. Takes come in increasing index order. A file
    // no worker decoded (none started it, the work was cancelled, or path is
    // not the path it was given for index) is decoded here. A failure of the
    // decode (out of memory) is raised here, as decoding here would.
    DecodedThumbnails take(std::size_t index, const std::string &path);
    // Ends the work ahead: nothing more starts, decodes under way are asked
    // to end early, and every worker has ended when it returns.
    void cancel();

    int workerCount() const { return static_cast<int>(workers_.size()); }

private:
    struct Decoded {
        DecodedThumbnails thumbnails;
        std::exception_ptr error;
    };

    void work();
    bool canStart() const;

    const std::vector<std::string> paths_;
    FileCache *const cache_;
    CompactMemo compacts_; // shared by the workers and take
    std::size_t window_ = 0; // files decoding or decoded but not yet taken
    std::mutex mutex_;
    std::condition_variable startable_;
    std::condition_variable decoded_;
    std::size_t nextToStart_ = 0;
    std::size_t nextToTake_ = 0;
    std::map<std::size_t, Decoded> ready_;
    std::atomic<bool> cancelled_{false};
    std::vector<std::thread> workers_;
};

// The name the workers carry (as top -H and /proc show it).
constexpr char kThumbnailThreadName[] = "quillmere-thumb";

// How many workers make thumbnails ahead on this machine: one per processor
// the program may use, and none when it has one, since decoding on the
// window's thread then costs nothing more.
int ThumbnailWorkersForThisMachine();

} // namespace quillmere
