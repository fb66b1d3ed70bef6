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

void addEntry(DecodedThumbnails &decoded, TBitmap thumbnail, bool ownPicture)
{
    decoded.entries.push_back(DecodedThumbnails::Entry{std::move(thumbnail), ownPicture});
}

// The JPEG step, and the PNG step, which does the same with a PNG picture.
template <class Picture>
void compressedPictureStep(const std::string &path, DecodedThumbnails &decoded)
{
    Picture picture;
    bool loaded = true;
    try {
        picture.LoadFromFile(path);
    } catch (const std::exception &) {
        picture.Assign(fallbackPicture());
        loaded = false;
    }
    try {
        TBitmap thumbnail = newThumbnail();
        picture.StretchDraw(thumbnail.Canvas(), kThumbnailArea); // decodes
        addEntry(decoded, std::move(thumbnail), loaded);
        decoded.resolution = resolutionText(picture.Width(), picture.Height());
    } catch (const std::exception &) {
        picture.Assign(fallbackPicture());
        TBitmap thumbnail = newThumbnail();
        picture.StretchDraw(thumbnail.Canvas(), kThumbnailArea);
        addEntry(decoded, std::move(thumbnail), false);
    }
}

void bitmapStep(const std::string &path, DecodedThumbnails &decoded)
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
    addEntry(decoded, std::move(thumbnail), resolution.has_value());
    if (resolution) {
        decoded.resolution = resolution;
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

DecodedThumbnails decodeThumbnails(const std::string &path)
{
    const ThumbnailSteps steps = thumbnailStepsFor(path);
    DecodedThumbnails decoded;
    if (steps.jpeg) {
        compressedPictureStep<TJPEGImage>(path, decoded);
    }
    if (steps.bitmap) {
        bitmapStep(path, decoded);
    }
    if (steps.png) {
        compressedPictureStep<TPNGImage>(path, decoded);
    }
    return decoded;
}

ThumbnailOutcome addThumbnails(const DecodedThumbnails &decoded, TImageList &list)
{
    ThumbnailOutcome outcome;
    for (const DecodedThumbnails::Entry &entry : decoded.entries) {
        const int index = list.Add(entry.thumbnail);
        ++outcome.appended;
        outcome.lastIndex = index;
        // A later step's stand-in never hides an earlier step's picture: a
        // JPEG named photo.bmp.jpg shows its photo, not the failed bitmap
        // step's stand-in.
        if (entry.ownPicture || !outcome.showsOwnPicture) {
            outcome.shownIndex = index;
            outcome.showsOwnPicture = entry.ownPicture;
        }
    }
    outcome.resolution = decoded.resolution;
    return outcome;
}

ThumbnailOutcome makeThumbnails(const std::string &path, TImageList &list)
{
    return addThumbnails(decodeThumbnails(path), list);
}

int AddRowThumbnail(const DecodedThumbnails &decoded, int row, TDataGrid &grid, TImageList &list)
{
    const ThumbnailOutcome outcome = addThumbnails(decoded, list);
    if (outcome.resolution) {
        grid.CellAt(QStringLiteral("Res"), row).setText(*outcome.resolution);
    }
    return outcome.shownIndex;
}

int MakeRowThumbnail(const std::string &path, int row, TDataGrid &grid, TImageList &list)
{
    return AddRowThumbnail(decodeThumbnails(path), row, grid, list);
}

} // namespace quillmere
