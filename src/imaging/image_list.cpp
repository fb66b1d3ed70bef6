#include "imaging/image_list.h"

#include "imaging/bitmap.h"
#include "imaging/compact_picture.h"
#include "platform/errors.h"
#include "platform/processor_count.h"

#include <QPainter>
#include <QSemaphore>
#include <QThreadPool>
#include <algorithm>
#include <cstring>
#include <xxhash.h>

namespace quillmere {

namespace {

const QSize kEntrySize(TImageList::EntryWidth, TImageList::EntryHeight);

bool samePixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.format() != b.format()) {
        return false;
    }
    const auto rowBytes = static_cast<std::size_t>(a.width()) * 4;
    for (int y = 0; y < a.height(); ++y) {
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), rowBytes) != 0) {
            return false;
        }
    }
    return true;
}

// An entry's rows of four-byte pixels lie one after the other, unpadded.
std::uint64_t hashOf(const QImage &pixels)
{
    return XXH3_64bits(pixels.constBits(), static_cast<std::size_t>(pixels.sizeInBytes()));
}

} // namespace

int TImageList::Add(const TBitmap &bitmap)
{
    return Add(PrepareEntry(bitmap));
}

TImageList::PreparedEntry TImageList::PrepareEntry(const TBitmap &bitmap)
{
    if (bitmap.Width() < EntryWidth || bitmap.Height() < EntryHeight) {
        throw EInvalidOperation(QStringLiteral("Invalid image size"));
    }
    // copy() always makes a deep copy, so the entry shares nothing with the
    // bitmap (nor with a recycled decode buffer).
    QImage entry = bitmap.ToDisplayImage().copy(0, 0, EntryWidth, EntryHeight);
    if (entry.isNull()) {
        throw std::bad_alloc();
    }
    // Entries are fully opaque whatever the pad bytes of the source held.
    for (int y = 0; y < EntryHeight; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(entry.scanLine(y));
        for (int x = 0; x < EntryWidth; ++x) {
            line[x] |= 0xFF000000u;
        }
    }
    const std::uint64_t hash = hashOf(entry);
    return PreparedEntry{std::move(entry), hash, {}};
}

TImageList::PreparedEntry TImageList::PreparedPixels(QImage pixels, std::string compact)
{
    const std::uint64_t hash = hashOf(pixels);
    return PreparedEntry{std::move(pixels), hash, std::move(compact)};
}

int TImageList::Add(PreparedEntry prepared)
{
    if (prepared.pixels.size() != kEntrySize || prepared.pixels.format() != QImage::Format_RGB32) {
        throw EInvalidOperation(QStringLiteral("Invalid image size"));
    }
    const QImage &entry = prepared.pixels;
    const std::uint64_t hash = prepared.hash;
    int picture = findPicture(entry, hash);
    if (picture < 0 && !prepared.compact.empty()) {
        // Compressed already (for the cache, or taken from it).
        const std::lock_guard lock(mutex_);
        picture = static_cast<int>(pictures_.size());
        compactBytes_ += prepared.compact.size();
        pictures_.push_back(std::move(prepared.compact));
        byPixels_.emplace(hash, static_cast<std::uint32_t>(picture));
    } else if (picture < 0) {
        // A new picture waits for the compressing thread, which Add waits
        // for only when it falls far behind.
        std::unique_lock lock(mutex_);
        if (!compactor_.joinable()) {
            compactor_ = std::thread([this] { compactInTurn(); });
        }
        workDone_.wait(lock, [this] { return queue_.size() < kMostWaiting; });
        picture = static_cast<int>(pictures_.size());
        pictures_.emplace_back();
        waiting_.emplace(static_cast<std::uint32_t>(picture), entry);
        queue_.push_back(static_cast<std::uint32_t>(picture));
        workAdded_.notify_one();
        lock.unlock();
        byPixels_.emplace(hash, static_cast<std::uint32_t>(picture));
    }
    // The picture just added is the likeliest to be added again.
    added_.keep(static_cast<std::uint32_t>(picture), entry);
    entries_.push_back(static_cast<std::uint32_t>(picture));
    changed();
    return Count() - 1;
}

TImageList::~TImageList()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    workAdded_.notify_all();
    if (compactor_.joinable()) {
        compactor_.join();
    }
}

void TImageList::compactInTurn()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        workAdded_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) {
            return;
        }
        const std::uint32_t picture = queue_.front();
        queue_.pop_front();
        const QImage pixels = waiting_.at(picture);
        const std::uint64_t generation = generation_;
        compacting_ = true;
        lock.unlock();
        std::string compact = CompactPicture(pixels);
        lock.lock();
        compacting_ = false;
        // A picture compressed for a list emptied since is dropped; one that
        // cannot be compressed (no memory) stays as it was added.
        if (generation == generation_ && !compact.empty()) {
            compactBytes_ += compact.size();
            pictures_[picture] = std::move(compact);
            waiting_.erase(picture);
        }
        workDone_.notify_all();
    }
}

void TImageList::finishCompacting() const
{
    std::unique_lock lock(mutex_);
    workDone_.wait(lock, [this] { return queue_.empty() && !compacting_; });
}

std::size_t TImageList::compactBytes() const
{
    const std::lock_guard lock(mutex_);
    return compactBytes_;
}

void TImageList::Clear()
{
    // The memory goes back at once: a search's list can be large.
    {
        const std::lock_guard lock(mutex_);
        ++generation_;
        std::deque<std::uint32_t>().swap(queue_);
        std::unordered_map<std::uint32_t, QImage>().swap(waiting_);
        std::vector<std::string>().swap(pictures_);
        compactBytes_ = 0;
    }
    workDone_.notify_all();
    std::vector<std::uint32_t>().swap(entries_);
    std::unordered_multimap<std::uint64_t, std::uint32_t>().swap(byPixels_);
    shown_.items.clear();
    added_.items.clear();
    changed();
}

int TImageList::findPicture(const QImage &pixels, std::uint64_t hash) const
{
    const auto [first, last] = byPixels_.equal_range(hash);
    for (auto it = first; it != last; ++it) {
        if (samePixels(expanded(it->second, added_), pixels)) {
            return static_cast<int>(it->second);
        }
    }
    return -1;
}

const QImage *TImageList::KeptPictures::find(std::uint32_t picture)
{
    for (Kept &kept : items) {
        if (kept.picture == picture) {
            kept.lastUse = ++uses;
            return &kept.pixels;
        }
    }
    return nullptr;
}

void TImageList::KeptPictures::keep(std::uint32_t picture, const QImage &pixels)
{
    if (find(picture) != nullptr) {
        return;
    }
    if (items.size() >= capacity) {
        const auto oldest = std::min_element(items.begin(), items.end(),
                                             [](const Kept &a, const Kept &b) { return a.lastUse < b.lastUse; });
        items.erase(oldest);
    }
    items.push_back({ picture, pixels, ++uses });
}

const QImage &TImageList::expanded(std::uint32_t picture, KeptPictures &kept) const
{
    if (const QImage *pixels = kept.find(picture)) {
        return *pixels;
    }
    QImage pixels;
    if (const QImage *other = (&kept == &shown_ ? added_ : shown_).find(picture)) {
        pixels = *other;
    } else {
        // The thread writes a picture only while it waits, under the lock;
        // one no longer waiting is never written again.
        const std::lock_guard lock(mutex_);
        const auto waiting = waiting_.find(picture);
        if (waiting != waiting_.end()) {
            pixels = waiting->second;
        }
    }
    if (pixels.isNull()) {
        pixels = ExpandPicture(pictures_[picture], kEntrySize);
    }
    if (pixels.isNull()) {
        static const QImage none;
        return none;
    }
    kept.keep(picture, pixels);
    return kept.items.back().pixels;
}

QImage TImageList::Entry(int index) const
{
    if (index < 0 || index >= Count()) {
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    }
    const QImage &pixels = expanded(entries_[static_cast<std::size_t>(index)], shown_);
    if (pixels.isNull()) {
        throw std::bad_alloc();
    }
    return pixels;
}

void TImageList::Prepare(int index) const
{
    if (index >= 0 && index < Count()) {
        expanded(entries_[static_cast<std::size_t>(index)], shown_);
    }
}

void TImageList::Prepare(const std::vector<int> &indices) const
{
    // The pictures none of the kept ones hold, each once, with their compact
    // forms: a picture no longer waiting is never written again, and the
    // vector grows only on this thread, so the forms can be read elsewhere.
    std::vector<std::uint32_t> missing;
    std::vector<const std::string *> forms;
    for (const int index : indices) {
        if (index < 0 || index >= Count()) {
            continue;
        }
        const std::uint32_t picture = entries_[static_cast<std::size_t>(index)];
        if (shown_.find(picture) != nullptr
            || std::find(missing.begin(), missing.end(), picture) != missing.end()) {
            continue;
        }
        const std::lock_guard lock(mutex_);
        if (waiting_.count(picture) == 0 && added_.find(picture) == nullptr) {
            missing.push_back(picture);
            forms.push_back(&pictures_[picture]);
        }
    }
    std::vector<QImage> pixels(missing.size());
    const auto expandFrom = [&](std::size_t first, std::size_t step) {
        for (std::size_t i = first; i < missing.size(); i += step) {
            pixels[i] = ExpandPicture(*forms[i], kEntrySize);
        }
    };
    const std::size_t threads = std::clamp<std::size_t>(missing.size() / kExpandedPerThread, 1,
                                                        static_cast<std::size_t>(std::max(1, UsableProcessorCount())));
    // The pool's threads stay ready between paints; starting threads for
    // every page would cost a good part of what they save.
    QSemaphore finished;
    for (std::size_t t = 1; t < threads; ++t) {
        QThreadPool::globalInstance()->start([&expandFrom, &finished, t, threads] {
            expandFrom(t, threads);
            finished.release();
        });
    }
    expandFrom(0, threads);
    finished.acquire(static_cast<int>(threads - 1));
    // A picture that could not be expanded (no memory) is tried once more
    // the usual way.
    for (std::size_t i = 0; i < missing.size(); ++i) {
        if (!pixels[i].isNull()) {
            shown_.keep(missing[i], pixels[i]);
        } else {
            expanded(missing[i], shown_);
        }
    }
}

void TImageList::Draw(QPainter &painter, const QPoint &point, int index) const
{
    if (index < 0 || index >= Count()) {
        return;
    }
    // A picture that cannot be expanded for want of memory draws nothing.
    const QImage &pixels = expanded(entries_[static_cast<std::size_t>(index)], shown_);
    if (!pixels.isNull()) {
        painter.drawImage(point, pixels);
    }
}

} // namespace quillmere
