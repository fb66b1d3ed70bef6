#pragma once

#include "imaging/bitmap.h"

#include <QString>
#include <optional>
#include <string>
#include <vector>

namespace quillmere {

class TDataGrid;
class TImageList;

// Which decoding steps a file's name asks for. Only the file-name part of
// the path counts (after the last '/'), with ASCII letters lower-cased. The
// JPEG and bitmap tests look for a substring, not an ending: "a.jpg.bak" is
// a JPEG by name, "holiday.jpg.bmp" asks for both steps. The PNG test looks
// at the ending only, so a backup such as "a.png.bak" is not read as a
// picture; "a.jpg.png" asks for the JPEG and the PNG step.
struct ThumbnailSteps {
    bool jpeg = false;   // the name contains ".jpg" or ".jpeg"
    bool bitmap = false; // the name contains ".bmp"
    bool png = false;    // the name ends in ".png"
};
ThumbnailSteps thumbnailStepsFor(const std::string &path);

// "640 X 480".
QString resolutionText(int width, int height);

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
    };
    std::vector<Entry> entries;
    std::optional<QString> resolution;
};

// Runs the JPEG step, the bitmap step and the PNG step, in that order, as
// the file's name asks. Raises nothing for any file content.
//
// JPEG step: always appends one entry. A file that cannot be loaded (cannot
// be opened, not a JPEG, damaged header) is replaced by the fallback picture,
// whose size 100 X 80 becomes the resolution; a picture that loads but fails
// to decode (an empty file included) also gets the fallback picture, and no
// resolution. A JPEG cut short shows what was decoded, with its header size.
//
// Bitmap step: appends the file's picture stretched to 100 x 75 with its
// resolution ("0 X 0" and a white thumbnail for an empty file). A file that
// fails to load appends the fallback picture instead and leaves the
// resolution as it was, so every row still gets exactly one entry per step.
//
// PNG step: the JPEG step with a PNG picture, with the same outcomes: one
// entry; the fallback picture and 100 X 80 for a file that cannot be loaded,
// the fallback picture and no resolution for one that fails to decode; a
// file cut short shows the rows it holds, with its header size.
DecodedThumbnails decodeThumbnails(const std::string &path);

// Appends the decoded entries to list, in order.
ThumbnailOutcome addThumbnails(const DecodedThumbnails &decoded, TImageList &list);

// decodeThumbnails, then addThumbnails.
ThumbnailOutcome makeThumbnails(const std::string &path, TImageList &list);

// The thumbnail and resolution of result row `row`: makeThumbnails, then the
// resolution text, if any, written to the row's Res cell. Returns the entry
// the row shows (shownIndex), or -1 when its name asked for no step.
int MakeRowThumbnail(const std::string &path, int row, TDataGrid &grid, TImageList &list);
// The same with thumbnails decoded beforehand.
int AddRowThumbnail(const DecodedThumbnails &decoded, int row, TDataGrid &grid, TImageList &list);

} // namespace quillmere
