#pragma once

#include "search/found_picture_reader.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quillmere {

// Reads and fingerprints a run of files on worker threads while the thread
// that made it waits and keeps its window alive. Each worker holds one file
// at a time and keeps only its fingerprint, never its picture, so memory
// stays bounded however many and however large the files.
class FingerprintStage {
public:
    // Starts max(1, workers) threads over `paths`; `reader` outlives the stage.
    FingerprintStage(const std::vector<std::string> &paths, FoundPictureReader &reader, int workers);
    // Cancels; no worker outlives the stage.
    ~FingerprintStage();
    FingerprintStage(const FingerprintStage &) = delete;
    FingerprintStage &operator=(const FingerprintStage &) = delete;

    // Waits until every file is read or `slice` has passed; true when every
    // file is read. Raises, once every worker has ended, what a worker met
    // that was no unreadable file (out of memory).
    bool waitFor(std::chrono::milliseconds slice);
    // How many files are read, and the one a worker started last.
    std::size_t doneCount();
    std::size_t lastStarted();
    // Ends the work: nothing more starts, decodes under way end early, and
    // every worker has ended when it returns.
    void cancel();
    // What was read of each file (nothing for a file that cannot be read),
    // once every file is read.
    std::vector<std::optional<ReadPicture>> takeResults();

    int workerCount() const { return static_cast<int>(workers_.size()); }

private:
    void work();
    void join();

    const std::vector<std::string> &paths_;
    FoundPictureReader &reader_;
    std::mutex mutex_;
    std::condition_variable progress_;
    std::size_t nextToStart_ = 0;
    std::size_t lastStarted_ = 0;
    std::size_t done_ = 0;
    std::exception_ptr error_;
    std::vector<std::optional<ReadPicture>> results_;
    std::atomic<bool> cancelled_ {false};
    std::vector<std::thread> workers_;
};

// The name the workers carry (as top -H and /proc show it).
constexpr char kFingerprintThreadName[] = "quillmere-print";

} // namespace quillmere
