#pragma once

#include <QString>
#include <optional>
#include <string>

namespace quillmere {

class TDataGrid;
class TImageList;

// Which decoding steps a file's name asks for. Only the file-name part of
// the path counts (after the last '/'), with ASCII letters lower-cased, and
// the tests look for a substring, not an ending: "a.jpg.bak" is a JPEG by
// name, "holiday.jpg.bmp" asks for both steps.
struct ThumbnailSteps {
    bool jpeg = false;   // the name contains ".jpg" or ".jpeg"
    bool bitmap = false; // the name contains ".bmp"
};
ThumbnailSteps thumbnailStepsFor(const std::string &path);

// "640 X 480".
QString resolutionText(int width, int height);

// What the steps for one file produced.
struct ThumbnailOutcome {
    int appended = 0;                 // entries added to the list: 0, 1 or 2
    int lastIndex = -1;               // index of the last of them, -1 for none
    // The entry the row shows: the last one a step made from the file's own
    // picture; the last entry appended when every step fell back to the
    // stand-in picture; -1 when nothing was appended.
    int shownIndex = -1;
    bool showsOwnPicture = false; // shownIndex holds the file's own picture
    std::optional<QString> resolution; // the row's Res text, when a step set it
};

// Runs the JPEG step and then the bitmap step as the file's name asks and
// appends their thumbnails to list. Raises nothing for any file content.
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
ThumbnailOutcome makeThumbnails(const std::string &path, TImageList &list);

// The thumbnail and resolution of result row `row`: makeThumbnails, then the
// resolution text, if any, written to the row's Res cell. Returns the entry
// the row shows (shownIndex), or -1 when its name asked for no step.
int MakeRowThumbnail(const std::string &path, int row, TDataGrid &grid, TImageList &list);

} // namespace quillmere
