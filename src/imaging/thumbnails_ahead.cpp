#include "imaging/thumbnails_ahead.h"

#include "imaging/cached_thumbnails.h"
#include "imaging/decode_cancel.h"
#include "platform/processor_count.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <optional>

namespace quillmere {

namespace {
// How often a waiting taker lets its window breathe.
constexpr std::chrono::milliseconds kWaitSlice{15};
// Files in hand per worker, decoding or ready. A ready file is a few small
// thumbnails, so a deep window costs little memory; it lets workers run on
// through files of uneven cost, and wake in batches rather than once a file.
constexpr std::size_t kFilesPerWorker = 16;
// The thumbnail list's copies are made here too, off the taker's thread.
// One that cannot be made is left to the list, which fails as it would.
// Runs of broken files all show one stand-in: the copy of the picture
// prepared last is used again while the pixels are the very same (one
// shared image, kept alive here so that its key is never another's).
class EntryPreparer {
public:
    void prepare(DecodedThumbnails &thumbnails)
    {
        for (DecodedThumbnails::Entry &entry : thumbnails.entries) {
            if (entry.prepared) {
                continue; // prepared with the cache's compact form
            }
            try {
                const QImage shown = entry.thumbnail.ToDisplayImage();
                if (!shown.isNull() && last_ && shown.cacheKey() == lastShown_.cacheKey()) {
                    entry.prepared = last_;
                    continue;
                }
                entry.prepared = TImageList::PrepareEntry(entry.thumbnail);
                lastShown_ = shown;
                last_ = entry.prepared;
            } catch (...) {
                entry.prepared.reset();
            }
        }
    }

private:
    QImage lastShown_;
    std::optional<TImageList::PreparedEntry> last_;
};

} // namespace

ThumbnailsAhead::ThumbnailsAhead(std::vector<std::string> paths, int workers, FileCache *cache)
    : paths_(std::move(paths))
    , cache_(cache)
{
    if (workers <= 0 || paths_.empty()) {
        return;
    }
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(workers), paths_.size());
    window_ = count * kFilesPerWorker;
    workers_.reserve(count);
    try {
        for (std::size_t i = 0; i < count; ++i) {
            workers_.emplace_back([this] { work(); });
            // Named from here, so the name holds from the moment the thread
            // exists, not only once it has been scheduled.
            pthread_setname_np(workers_.back().native_handle(), kThumbnailThreadName);
        }
    } catch (...) {
        // Fewer threads than asked for still do the work; none at all leaves
        // it to take.
        if (workers_.empty()) {
            window_ = 0;
        }
    }
}

ThumbnailsAhead::~ThumbnailsAhead()
{
    cancel();
}

bool ThumbnailsAhead::canStart() const
{
    return nextToStart_ < paths_.size() && nextToStart_ < nextToTake_ + window_;
}

void ThumbnailsAhead::work()
{
    const DecodeCancelScope scope(cancelled_);
    EntryPreparer preparer;
    std::unique_lock lock(mutex_);
    for (;;) {
        startable_.wait(lock, [this] { return cancelled_ || canStart() || nextToStart_ >= paths_.size(); });
        if (cancelled_ || nextToStart_ >= paths_.size()) {
            return;
        }
        const std::size_t index = nextToStart_++;
        lock.unlock();
        Decoded decoded;
        try {
            decoded.thumbnails = cachedThumbnails(paths_[index], cache_, &compacts_);
        } catch (...) {
            decoded.error = std::current_exception();
        }
        preparer.prepare(decoded.thumbnails);
        lock.lock();
        // A decode that may have seen the cancel made stand-ins instead of
        // pictures; it is dropped, and take decodes the file again if asked.
        if (!cancelled_) {
            ready_.emplace(index, std::move(decoded));
        }
        decoded_.notify_all();
    }
}

void ThumbnailsAhead::waitFor(std::size_t index, const std::function<void()> &whileWaiting)
{
    std::unique_lock lock(mutex_);
    const auto done = [&] { return cancelled_ || index >= nextToStart_ || ready_.count(index) != 0; };
    while (!decoded_.wait_for(lock, kWaitSlice, done)) {
        lock.unlock();
        whileWaiting();
        lock.lock();
    }
}

DecodedThumbnails ThumbnailsAhead::take(std::size_t index, const std::string &path)
{
    std::unique_lock lock(mutex_);
    const bool ours = index < paths_.size() && paths_[index] == path;
    std::optional<Decoded> decoded;
    if (ours) {
        if (index >= nextToStart_) {
            nextToStart_ = index + 1; // no worker starts it now
        } else {
            decoded_.wait(lock, [&] { return cancelled_ || ready_.count(index) != 0; });
        }
        if (const auto found = ready_.find(index); found != ready_.end()) {
            decoded = std::move(found->second);
            ready_.erase(found);
        }
        nextToTake_ = std::max(nextToTake_, index + 1);
    }
    // Workers waiting for room are woken once half the window is free: one
    // wake for many files, never a wait with room to spare for long.
    const bool roomForMany = nextToStart_ <= nextToTake_ + window_ / 2;
    lock.unlock();
    if (roomForMany) {
        startable_.notify_all();
    }
    if (!decoded) {
        return cachedThumbnails(path, cache_, &compacts_);
    }
    if (decoded->error) {
        std::rethrow_exception(decoded->error);
    }
    return std::move(decoded->thumbnails);
}

void ThumbnailsAhead::cancel()
{
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        ready_.clear();
    }
    startable_.notify_all();
    decoded_.notify_all();
    for (std::thread &worker : workers_) {
        if (worker.joinable()) {
            worker.join();
        }
    }
}

int ThumbnailWorkersForThisMachine()
{
    const int processors = UsableProcessorCount();
    return processors > 1 ? processors : 0;
}

} // namespace quillmere
