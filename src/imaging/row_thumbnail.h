#pragma once

#include "imaging/bitmap.h"
#include "imaging/image_list.h"
#include "imaging/picture_format.h"

#include <QString>
#include <optional>
#include <string>
#include <vector>

namespace quillmere {

class TImageList;

// "640 X 480".
QString resolutionText(int width, int height);
QString resolutionText(QSize size);

// What the steps for one file produced.
struct ThumbnailOutcome {
    int appended = 0;                 // entries added to the list: 0 to 3
    int lastIndex = -1;               // index of the last of them, -1 for none
    // The entry the row shows: the last one a step made from the file's own
    // picture; the last entry appended when every step fell back to the
    // stand-in picture; -1 when nothing was appended.
    int shownIndex = -1;
    bool showsOwnPicture = false; // shownIndex holds the file's own picture
    std::optional<QString> resolution; // the row's Res text, when a step set it
};

// A file's thumbnails, made but not yet added to the thumbnail list: the
// entries makeThumbnails appends, in order, each with whether it shows the
// file's own picture, and the resolution text. Making them touches no list
// and no table, so it may run on any thread.
struct DecodedThumbnails {
    struct Entry {
        TBitmap thumbnail; // 100 x 75
        bool ownPicture = false;
        // The thumbnail list's copy of it, when made ahead on another thread.
        std::optional<TImageList::PreparedEntry> prepared;
    };
    std::vector<Entry> entries;
    std::optional<QString> resolution;
};

// Runs one thumbnail step for every picture format the file's name asks for
// (PictureFormatsNamedBy), in the formats' order: JPEG, bitmap, PNG, ...
// Each step appends exactly one entry, the file's own picture or the
// stand-in, and may set the resolution (see each format's rowThumbnail).
// The file's content picks the format that reads it in every step: a PNG
// file named x.jpg shows its picture; a file no format recognises is read
// by the format of the step, which gives the stand-in by its own rules.
// A picture whose file records an orientation is shown upright, and its
// resolution is the upright one. Raises nothing for any file content.
DecodedThumbnails decodeThumbnails(const std::string &path);
// The same for the file named `path`, its bytes read from `readPath` (a
// descriptor's /proc/self/fd/N): the name picks the steps, the bytes the
// pictures.
DecodedThumbnails decodeThumbnails(const std::string &path, const std::string &readPath);

// Appends the decoded entries to list, in order.
ThumbnailOutcome addThumbnails(const DecodedThumbnails &decoded, TImageList &list);

// The thumbnail reader makes of the file for the given orientation (1 to
// 8): stretched over 100 x 75 when upright, else over the stored picture's
// proportions (75 x 100 on its side) and then turned; the stand-in is never
// turned.
FormatThumbnail uprightThumbnail(const PictureFormat &reader, const std::string &path, int orientation);

// decodeThumbnails, then addThumbnails.
ThumbnailOutcome makeThumbnails(const std::string &path, TImageList &list);

} // namespace quillmere
