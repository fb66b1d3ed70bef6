#include "imaging/cached_thumbnails.h"

#include "common/byte_record.h"
#include "imaging/compact_memo.h"
#include "imaging/compact_picture.h"
#include "imaging/decode_cancel.h"
#include "imaging/image_list.h"
#include "platform/file_cache_entry.h"
#include "platform/file_measure.h"
#include "platform/unique_fd.h"

#include <algorithm>
#include <vector>

namespace quillmere {

namespace {

const QSize kEntrySize(TImageList::EntryWidth, TImageList::EntryHeight);

// Entry flags.
constexpr std::uint8_t kOwnPicture = 1;

} // namespace

std::optional<std::string> thumbnailsValue(const DecodedThumbnails &thumbnails)
{
    RecordWriter record;
    record.put(static_cast<std::uint8_t>(thumbnails.resolution.has_value()));
    record.putBytes(thumbnails.resolution.value_or(QString()).toStdString());
    record.put(static_cast<std::uint8_t>(thumbnails.entries.size()));
    // The steps of one file mostly show one picture: each distinct picture
    // is kept once.
    std::vector<std::string> pictures;
    for (const DecodedThumbnails::Entry &entry : thumbnails.entries) {
        const TBitmap &bitmap = entry.thumbnail;
        if (bitmap.Width() < kEntrySize.width() || bitmap.Height() < kEntrySize.height()) {
            return std::nullopt;
        }
        std::string compact = entry.prepared && !entry.prepared->compact.empty()
            ? entry.prepared->compact
            : CompactPicture(bitmap.ToDisplayImage().copy(QRect(QPoint(0, 0), kEntrySize)));
        if (compact.empty()) {
            return std::nullopt;
        }
        std::size_t index = 0;
        while (index < pictures.size() && pictures[index] != compact) {
            ++index;
        }
        if (index == pictures.size()) {
            pictures.push_back(std::move(compact));
        }
        record.put(static_cast<std::uint8_t>(entry.ownPicture ? kOwnPicture : 0));
        record.put(static_cast<std::uint8_t>(index));
    }
    record.put(static_cast<std::uint8_t>(pictures.size()));
    for (const std::string &picture : pictures) {
        record.putBytes(picture);
    }
    return record.take();
}

std::optional<DecodedThumbnails> thumbnailsFromValue(std::string_view value)
{
    RecordReader record(value);
    DecodedThumbnails thumbnails;
    const auto hasResolution = record.get<std::uint8_t>();
    const auto resolution = record.getBytes();
    const auto entryCount = record.get<std::uint8_t>();
    if (!hasResolution || !resolution || !entryCount) {
        return std::nullopt;
    }
    if (*hasResolution != 0) {
        thumbnails.resolution = QString::fromStdString(std::string(*resolution));
    }
    std::vector<std::pair<bool, std::uint8_t>> entries;
    for (int i = 0; i < *entryCount; ++i) {
        const auto flags = record.get<std::uint8_t>();
        const auto index = record.get<std::uint8_t>();
        if (!flags || !index) {
            return std::nullopt;
        }
        entries.emplace_back((*flags & kOwnPicture) != 0, *index);
    }
    const auto pictureCount = record.get<std::uint8_t>();
    if (!pictureCount) {
        return std::nullopt;
    }
    std::vector<TBitmap> pictures(*pictureCount);
    std::vector<TImageList::PreparedEntry> prepared;
    for (TBitmap &picture : pictures) {
        const auto compact = record.getBytes();
        if (!compact) {
            return std::nullopt;
        }
        QImage pixels = ExpandPicture(*compact, kEntrySize);
        if (pixels.isNull()) {
            return std::nullopt;
        }
        picture.SetPixels(pixels, 32);
        // The stored form is already what the list keeps.
        prepared.push_back(TImageList::PreparedPixels(std::move(pixels), std::string(*compact)));
    }
    if (!record.atEnd()) {
        return std::nullopt;
    }
    for (const auto &[own, index] : entries) {
        if (index >= pictures.size()) {
            return std::nullopt;
        }
        thumbnails.entries.push_back(DecodedThumbnails::Entry {pictures[index], own, prepared[index]});
    }
    return thumbnails;
}

namespace {

// Every entry prepared for the list with its compact form, for storing.
void prepareCompacts(DecodedThumbnails &thumbnails, CompactMemo *memo)
{
    for (DecodedThumbnails::Entry &entry : thumbnails.entries) {
        try {
            TImageList::PreparedEntry prepared = TImageList::PrepareEntry(entry.thumbnail);
            prepared.compact = memo != nullptr ? memo->compactOf(prepared) : CompactPicture(prepared.pixels);
            entry.prepared = std::move(prepared);
        } catch (const std::exception &) {
            // Too small for the list: the stored form refuses it as well.
            entry.prepared.reset();
        }
    }
}

} // namespace

DecodedThumbnails cachedThumbnails(const std::string &path, FileCache *cache, CompactMemo *memo)
{
    if (cache == nullptr) {
        return decodeThumbnails(path);
    }
    struct stat info { };
    const UniqueFd fd(OpenFoundFile(path, info));
    if (!fd.valid()) {
        return decodeThumbnails(path);
    }
    const FileCacheEntry entry(cache, fd.get(), kThumbnailsCacheKind, kThumbnailsCacheVersion);
    if (const std::optional<std::string> value = entry.find()) {
        if (std::optional<DecodedThumbnails> thumbnails = thumbnailsFromValue(*value)) {
            return std::move(*thumbnails);
        }
    }
    // Read through the descriptor: what is stored is what this very file,
    // in the state its key names, shows.
    DecodedThumbnails thumbnails = decodeThumbnails(path, DescriptorPath(fd.get()));
    // A cancelled decode made stand-ins where pictures belong. A file that
    // shows only stand-ins failed early and costs less to read again than
    // to keep: a tree of broken files must not fill the cache.
    const bool ownPicture = std::any_of(thumbnails.entries.begin(), thumbnails.entries.end(),
                                        [](const DecodedThumbnails::Entry &e) { return e.ownPicture; });
    if (ownPicture && !decodeCancelled()) {
        prepareCompacts(thumbnails, memo);
        if (std::optional<std::string> value = thumbnailsValue(thumbnails)) {
            entry.store(std::move(*value));
        }
    }
    return thumbnails;
}

} // namespace quillmere
