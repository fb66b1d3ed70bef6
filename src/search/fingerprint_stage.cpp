#include "search/fingerprint_stage.h"

#include "imaging/decode_cancel.h"

#include <pthread.h>

#include <algorithm>

namespace quillmere {

FingerprintStage::FingerprintStage(const std::vector<std::string> &paths, FoundPictureReader &reader, int workers)
    : paths_(paths)
    , reader_(reader)
    , results_(paths.size())
{
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(std::max(1, workers)), paths_.size());
    workers_.reserve(count);
    try {
        for (std::size_t i = 0; i < count; ++i) {
            workers_.emplace_back([this] { work(); });
            pthread_setname_np(workers_.back().native_handle(), kFingerprintThreadName);
        }
    } catch (...) {
        // Fewer threads than asked for still do the work; none at all
        // cannot, and the search ends with the error.
        if (workers_.empty()) {
            throw;
        }
    }
}

FingerprintStage::~FingerprintStage()
{
    cancel();
}

void FingerprintStage::work()
{
    const DecodeCancelScope scope(cancelled_);
    std::unique_lock lock(mutex_);
    while (!cancelled_ && nextToStart_ < paths_.size() && !error_) {
        const std::size_t index = nextToStart_++;
        lastStarted_ = index;
        lock.unlock();
        std::optional<ReadPicture> read;
        std::exception_ptr error;
        try {
            read = reader_.read(paths_[index], cancelled_);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        results_[index] = std::move(read);
        if (error && !error_) {
            error_ = error;
        }
        ++done_;
        progress_.notify_all();
    }
    progress_.notify_all();
}

bool FingerprintStage::waitFor(std::chrono::milliseconds slice)
{
    bool finished = false;
    {
        std::unique_lock lock(mutex_);
        finished = progress_.wait_for(lock, slice, [this] { return done_ == paths_.size() || error_; });
    }
    if (finished) {
        join();
        std::exception_ptr error;
        {
            const std::lock_guard lock(mutex_);
            error = error_;
        }
        if (error) {
            std::rethrow_exception(error);
        }
    }
    return finished;
}

std::size_t FingerprintStage::doneCount()
{
    const std::lock_guard lock(mutex_);
    return done_;
}

std::size_t FingerprintStage::lastStarted()
{
    const std::lock_guard lock(mutex_);
    return lastStarted_;
}

void FingerprintStage::cancel()
{
    cancelled_ = true;
    join();
}

void FingerprintStage::join()
{
    for (std::thread &worker : workers_) {
        if (worker.joinable()) {
            worker.join();
        }
    }
}

std::vector<std::optional<ReadPicture>> FingerprintStage::takeResults()
{
    join();
    const std::lock_guard lock(mutex_);
    return std::move(results_);
}

} // namespace quillmere
