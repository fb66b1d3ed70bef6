#include "search/similar_search.h"

#include "common/stop_flag.h"
#include "imaging/decode_cancel.h"
#include "imaging/picture_fingerprint.h"
#include "platform/file_measure.h"
#include "platform/path_text.h"
#include "search/fingerprint_stage.h"
#include "search/found_picture_reader.h"
#include "search/search_view.h"

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace quillmere {

namespace {

// How often the waiting thread lets its window breathe.
constexpr std::chrono::milliseconds kPumpSlice {50};

// Raised at a pump that found StopFlag set: unwinds the grouping, which
// leaves the exceptions of its callbacks to its caller.
struct StoppedAtPump { };

// Lets the window breathe; a Stop pressed there ends the search.
void pumpAndCheck(SearchView &view)
{
    view.pumpMessages();
    if (StopFlag == 1) {
        throw StoppedAtPump {};
    }
}

// Runs `task` on a thread of its own under a cancel scope while this thread
// pumps; a pump that stops or throws cancels the task's decodes, waits for
// it to end and passes the stop or the error on.
template <class Result, class Task>
Result runWhilePumping(SearchView &view, Task task)
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    Result result {};
    std::exception_ptr error;
    std::atomic<bool> cancelled {false};
    std::thread worker([&] {
        const DecodeCancelScope scope(cancelled);
        try {
            result = task();
        } catch (...) {
            error = std::current_exception();
        }
        const std::lock_guard lock(mutex);
        done = true;
        finished.notify_all();
    });
    pthread_setname_np(worker.native_handle(), kFingerprintThreadName);
    try {
        std::unique_lock lock(mutex);
        while (!finished.wait_for(lock, kPumpSlice, [&] { return done; })) {
            lock.unlock();
            pumpAndCheck(view);
            lock.lock();
        }
    } catch (...) {
        cancelled = true;
        worker.join();
        throw;
    }
    worker.join();
    if (error) {
        std::rethrow_exception(error);
    }
    return result;
}

// Reads every file on the workers, showing the progress; nothing when a
// Stop ended it.
std::optional<std::vector<std::optional<ReadPicture>>> readPictures(const std::vector<std::string> &paths,
                                                                    FoundPictureReader &reader, SearchView &view,
                                                                    int workers)
{
    view.setLabel1(QStringLiteral("Read pictures:"));
    view.setProgressMaximum(static_cast<int>(paths.size()));
    FingerprintStage stage(paths, reader, workers);
    std::size_t shown = paths.size();
    for (;;) {
        const bool finished = stage.waitFor(kPumpSlice);
        view.setProgressPosition(static_cast<int>(stage.doneCount()));
        if (const std::size_t current = stage.lastStarted(); current < paths.size() && current != shown) {
            shown = current;
            view.setLabel3(pathToText(paths[current]));
        }
        // A pump that throws (the search abandoned) leaves through the
        // stage's end, which cancels and joins every worker.
        view.pumpMessages();
        if (StopFlag == 1) {
            return std::nullopt;
        }
        if (finished) {
            return stage.takeResults();
        }
    }
}

} // namespace

bool FindSimilarPictures(const std::vector<std::string> &paths, const ListedFolders &listed,
                         const SimilarityOptions &options, SearchView &view, int workers,
                         SimilarSearchResult &result, FileCache *cache)
{
    FoundPictureReader reader(listed, cache);
    auto read = readPictures(paths, reader, view, workers);
    if (!read) {
        return false;
    }

    SimilarSearchResult found;
    // What the grouping sees, and for each of its pictures the path it came
    // from. Several paths that reach one file (hard links) are one picture:
    // the first of them stays, as a file is no copy of itself.
    std::vector<FingerprintedPicture> pictures;
    std::vector<std::size_t> pathOf;
    std::map<std::pair<dev_t, ino_t>, std::size_t> seenFiles;
    for (std::size_t i = 0; i < read->size(); ++i) {
        const std::optional<ReadPicture> &picture = (*read)[i];
        if (!picture) {
            found.unreadable.push_back(paths[i]);
            continue;
        }
        if (!seenFiles.emplace(std::pair(picture->found.file.device, picture->found.file.inode), i).second) {
            continue;
        }
        pictures.push_back(picture->picture);
        pathOf.push_back(i);
    }
    found.fingerprinted = static_cast<int>(pictures.size());

    view.setLabel1(QStringLiteral("Compare pictures:"));
    view.setLabel3(QString());
    const auto foundOf = [&](int picture) -> const FoundFile & { return (*read)[pathOf[picture]]->found; };
    // Whether two pictures' pixels are equal is asked of the files as they
    // were read: each is opened again and must still be that file. Each
    // picture is decoded in full at most once, for the digest of its pixels.
    std::vector<std::optional<std::optional<PixelDigest>>> digests(pictures.size());
    const auto digestOf = [&](int picture, bool decode) -> std::optional<PixelDigest> {
        std::optional<std::optional<PixelDigest>> &known = digests[static_cast<std::size_t>(picture)];
        if (!known && !decode && cache == nullptr) {
            return std::nullopt; // only a cache could know it without a decode
        }
        if (!known) {
            const std::string &path = paths[pathOf[picture]];
            std::optional<PixelDigest> digest = runWhilePumping<std::optional<PixelDigest>>(
                view, [&] { return reader.pixelDigest(path, foundOf(picture), decode); });
            if (!digest && !decode) {
                return std::nullopt; // not known yet
            }
            known = digest;
        }
        return *known;
    };
    const auto samePixels = [&](int a, int b) {
        const std::string &pathA = paths[pathOf[a]];
        const std::string &pathB = paths[pathOf[b]];
        view.setLabel3(pathToText(pathB));
        const std::optional<PixelDigest> keptA = digestOf(a, false);
        const std::optional<PixelDigest> keptB = digestOf(b, false);
        if (keptA && keptB) {
            return *keptA == *keptB;
        }
        if (runWhilePumping<bool>(view, [&] { return reader.sameJpegPicture(pathA, foundOf(a), pathB, foundOf(b)); })) {
            return true;
        }
        const std::optional<PixelDigest> digestA = digestOf(a, true);
        return digestA && digestA == digestOf(b, true);
    };
    std::vector<SimilarSet> sets;
    try {
        sets = GroupSimilarPictures(pictures, options, samePixels, [&view] { pumpAndCheck(view); });
    } catch (const StoppedAtPump &) {
        return false;
    }

    found.sets.reserve(sets.size());
    for (const SimilarSet &set : sets) {
        std::vector<SimilarFile> files;
        files.reserve(set.members.size());
        const FingerprintedPicture &first = pictures[static_cast<std::size_t>(set.members.front().picture)];
        for (const SimilarMember &member : set.members) {
            const auto index = static_cast<std::size_t>(member.picture);
            const FingerprintedPicture &picture = pictures[index];
            SimilarFile file;
            file.pathText = pathToText(paths[pathOf[index]]);
            file.found = foundOf(member.picture);
            file.width = picture.width;
            file.height = picture.height;
            file.similarity = member.similarity;
            file.sameBytesAsFirst = picture.bytes == first.bytes && picture.contentHash == first.contentHash;
            files.push_back(std::move(file));
        }
        found.sets.push_back(std::move(files));
    }
    result = std::move(found);
    return true;
}

} // namespace quillmere
