#pragma once

#include "imaging/bitmap.h"

#include <QSize>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillmere {

class TGraphic;

// How a file's name asks for a format's thumbnail step. Only the file-name
// part of the path counts, with ASCII letters lower-cased.
enum class NameTest {
    Contains, // ".<extension>" anywhere in the name: "a.jpg.bak" counts
    EndsWith, // the name ends in ".<extension>": "a.png.bak" does not count
};

// What a format's step made for one result row.
struct FormatThumbnail {
    TBitmap thumbnail;         // 100 x 75
    bool ownPicture = false;   // false: the stand-in for a file it could not show
    std::optional<QSize> size; // the size the row's resolution text shows, when the step sets one
};

// One kind of picture file the program reads. Everything the program does
// with a kind of picture goes through here, so that a new kind is one class
// and one line in the registry (picture_formats.h).
class PictureFormat {
public:
    // extensions: lower-case, without the dot; the first is the one of the
    // search mask ("*.jpg").
    PictureFormat(QString name, std::vector<std::string> extensions, NameTest nameTest);
    virtual ~PictureFormat() = default;
    PictureFormat(const PictureFormat &) = delete;
    PictureFormat &operator=(const PictureFormat &) = delete;

    const QString &name() const { return name_; }
    const std::vector<std::string> &extensions() const { return extensions_; }
    QString mask() const;
    // Whether a lower-case extension (without the dot) is one of ours.
    bool claimsExtension(const std::string &extension) const;
    // Whether a file name, already lower-cased, asks for our thumbnail step.
    bool namesFile(const std::string &lowerName) const;

    // Whether the first bytes of a file are those of this format.
    virtual bool hasSignature(const std::uint8_t *data, std::size_t size) const = 0;

    // The picture's size from its headers alone, no pixel decoded; 0 x 0 for
    // an empty file. Raises the format's errors, or EFOpenError.
    virtual QSize pictureSize(const std::string &path) const = 0;

    // The file's 100 x 75 row thumbnail, streamed: only the rows the stretch
    // takes are decoded, so memory stays bounded whatever the picture's
    // size. Raises nothing for any file content: a file it cannot show gets
    // the stand-in picture, by the format's own rules for the size shown.
    virtual FormatThumbnail rowThumbnail(const std::string &path) const = 0;
    // For a file whose first bytes no format recognises: what rowThumbnail
    // gives, when those bytes alone settle it, so that the file need not be
    // read again; nothing otherwise (the default).
    virtual std::optional<FormatThumbnail> rowThumbnailOfUnrecognised(const std::uint8_t *first,
                                                                      std::size_t size) const;

    // rowThumbnail stretched over an area of the given size instead of
    // 100 x 75 (a picture stored on its side is stretched over 75 x 100 and
    // turned afterwards), by the same rules. The default stretches what
    // smallDecode makes and takes the rules from rowThumbnail; a format that
    // streams its thumbnail gives the same pixels as rowThumbnail's here.
    virtual FormatThumbnail rowThumbnailOver(const std::string &path, QSize area) const;

    // An empty picture of this kind, for loading by extension. Drawn in a
    // window it decodes at the smallest size that still fills the window.
    virtual std::unique_ptr<TGraphic> newPicture() const = 0;

    // The picture as a bitmap at least atLeast on both sides (sides below 1
    // count as 1), made as cheaply as the format allows, keeping the
    // picture's proportions as far as the reduction does. A picture smaller
    // than asked is stretched up to the asked size. Raises the format's
    // errors for a file it cannot decode, an empty one included.
    virtual TBitmap smallDecode(const std::string &path, QSize atLeast) const = 0;

    // The file's EXIF block as TIFF-structured bytes (from the byte-order
    // mark "II" or "MM" on), for the formats that carry one in a box or
    // chunk of their own; empty when there is none. Reads headers only.
    virtual std::vector<std::uint8_t> exifBlock(const std::string &path) const;

    // How the stored pixels are turned against the upright picture, as the
    // EXIF orientation tag says it (1 upright to 8); 1 when the file says
    // nothing. The other operations above give the stored pixels. The
    // default reads the orientation tag of exifBlock; a format that records
    // its turn otherwise (a TIFF tag of its own) says so here, and one whose
    // decoder already turns the pixels upright answers 1.
    virtual int orientation(const std::string &path) const;

private:
    QString name_;
    std::vector<std::string> extensions_;
    NameTest nameTest_;
};

// A bitmap of the thumbnail list's entry size, all white.
TBitmap newRowThumbnail();
// The same of another size (width set first, then height).
TBitmap newRowThumbnail(QSize area);
// The stand-in picture stretched over a new bitmap of the given size.
TBitmap standInThumbnail(QSize area);
// The rectangle of a row thumbnail.
QRect rowThumbnailArea();

// The largest reduction of picture by a power of two whose sides still
// cover fill (at most 2^20); picture itself when fill is not valid.
QSize halvedToFill(QSize picture, QSize fill);

// bitmap, stretched up to at least atLeast on both sides when it is smaller.
TBitmap grownTo(TBitmap bitmap, QSize atLeast);

} // namespace quillmere
