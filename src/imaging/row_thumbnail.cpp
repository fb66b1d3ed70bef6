#include "imaging/row_thumbnail.h"

#include "imaging/bitmap.h"
#include "imaging/bmp_reader.h"
#include "imaging/byte_source.h"
#include "imaging/fallback_picture.h"
#include "imaging/image_list.h"
#include "imaging/jpeg_image.h"
#include "imaging/png_image.h"
#include "platform/file_identity.h"
#include "table/data_grid.h"

#include <exception>

namespace quillmere {

namespace {

const QRect kThumbnailArea(0, 0, TImageList::EntryWidth, TImageList::EntryHeight);

// An empty bitmap given its size width first, then height: all white.
TBitmap newThumbnail()
{
    TBitmap thumbnail;
    thumbnail.SetWidth(TImageList::EntryWidth);
    thumbnail.SetHeight(TImageList::EntryHeight);
    return thumbnail;
}

// ownPicture: the entry shows the file's picture, not the stand-in. A
// later step's stand-in never hides an earlier step's picture: a JPEG named
// photo.bmp.jpg shows its photo, not the failed bitmap step's stand-in.
void recordEntry(ThumbnailOutcome &outcome, int index, bool ownPicture)
{
    ++outcome.appended;
    outcome.lastIndex = index;
    if (ownPicture || !outcome.showsOwnPicture) {
        outcome.shownIndex = index;
        outcome.showsOwnPicture = ownPicture;
    }
}

// The JPEG step, and the PNG step, which does the same with a PNG picture.
template <class Picture>
void compressedPictureStep(const std::string &path, TImageList &list, ThumbnailOutcome &outcome)
{
    Picture picture;
    bool loaded = true;
    try {
        picture.LoadFromFile(path);
    } catch (const std::exception &) {
        picture.Assign(fallbackPicture());
        loaded = false;
    }
    TBitmap thumbnail;
    try {
        thumbnail = newThumbnail();
        picture.StretchDraw(thumbnail.Canvas(), kThumbnailArea); // decodes
        recordEntry(outcome, list.Add(thumbnail), loaded);
        outcome.resolution = resolutionText(picture.Width(), picture.Height());
    } catch (const std::exception &) {
        picture.Assign(fallbackPicture());
        thumbnail = newThumbnail();
        picture.StretchDraw(thumbnail.Canvas(), kThumbnailArea);
        recordEntry(outcome, list.Add(thumbnail), false);
    }
}

void bitmapStep(const std::string &path, TImageList &list, ThumbnailOutcome &outcome)
{
    TBitmap thumbnail = newThumbnail();
    std::optional<QString> resolution;
    try {
        // Straight from the file into the thumbnail: only the rows the
        // stretch takes are read, so the picture is never held whole.
        FileSource file(path);
        const QSize size = stretchBmp(file, thumbnail.Canvas(), kThumbnailArea);
        resolution = resolutionText(size.width(), size.height());
    } catch (const std::exception &) {
        // A broken bitmap must not end the filling of the result table: it
        // shows the fallback picture like a broken JPEG file does.
        thumbnail = newThumbnail();
        TBitmap fallback(fallbackPicture());
        fallback.StretchDraw(thumbnail.Canvas(), kThumbnailArea);
    }
    recordEntry(outcome, list.Add(thumbnail), resolution.has_value());
    if (resolution) {
        outcome.resolution = resolution;
    }
}

} // namespace

ThumbnailSteps thumbnailStepsFor(const std::string &path)
{
    std::string name = NameOfPath(path);
    for (char &c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    ThumbnailSteps steps;
    steps.jpeg = name.find(".jpg") != std::string::npos || name.find(".jpeg") != std::string::npos;
    steps.bitmap = name.find(".bmp") != std::string::npos;
    steps.png = name.ends_with(".png");
    return steps;
}

QString resolutionText(int width, int height)
{
    return QStringLiteral("%1 X %2").arg(width).arg(height);
}

ThumbnailOutcome makeThumbnails(const std::string &path, TImageList &list)
{
    const ThumbnailSteps steps = thumbnailStepsFor(path);
    ThumbnailOutcome outcome;
    if (steps.jpeg) {
        compressedPictureStep<TJPEGImage>(path, list, outcome);
    }
    if (steps.bitmap) {
        bitmapStep(path, list, outcome);
    }
    if (steps.png) {
        compressedPictureStep<TPNGImage>(path, list, outcome);
    }
    return outcome;
}

int MakeRowThumbnail(const std::string &path, int row, TDataGrid &grid, TImageList &list)
{
    const ThumbnailOutcome outcome = makeThumbnails(path, list);
    if (outcome.resolution) {
        grid.CellAt(QStringLiteral("Res"), row).setText(*outcome.resolution);
    }
    return outcome.shownIndex;
}

} // namespace quillmere
