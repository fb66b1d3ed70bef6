#pragma once

#include "imaging/row_thumbnail.h"

#include <optional>
#include <string>
#include <string_view>

namespace quillmere {

class CompactMemo;
class FileCache;

// What the cache knows row thumbnails as; the version changes whenever a
// format's thumbnail or the stored layout changes.
constexpr char kThumbnailsCacheKind[] = "thumbnails";
constexpr int kThumbnailsCacheVersion = 1;

// A file's row thumbnails as decodeThumbnails makes them, taken from `cache`
// when it holds them for the file exactly as it is now, else decoded and
// stored there. The rows they give look exactly as without a cache: the
// entries are kept losslessly. A file that cannot be opened as a regular
// file, and every file without a cache, is decoded as it always is; a file
// that shows no picture of its own (only the stand-in) is not kept.
// Entries taken from the cache or stored there come prepared for the list
// with their compact form, which is then made only once (found in `memo`,
// when given, for pictures compressed shortly before).
DecodedThumbnails cachedThumbnails(const std::string &path, FileCache *cache, CompactMemo *memo = nullptr);

// The stored form of a file's thumbnails: every entry's 100 x 75 pixels as
// the thumbnail list would hold them, with whether it shows the file's own
// picture, and the resolution text. Nothing when an entry is smaller than a
// list entry (the list refuses it, and so the file is decoded every time).
// Entries prepared with their compact form are not compressed again.
std::optional<std::string> thumbnailsValue(const DecodedThumbnails &thumbnails);
// The thumbnails a stored form holds; nothing for damaged bytes.
std::optional<DecodedThumbnails> thumbnailsFromValue(std::string_view value);

} // namespace quillmere
