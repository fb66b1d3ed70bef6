#pragma once

#include "imaging/picture_format.h"

#include <QRect>
#include <QSize>
#include <cstddef>
#include <cstdint>
#include <mutex>

class QImage;

namespace quillmere {

// What the headers of a compressed picture file say.
struct PictureHeader {
    int width = 0;
    int height = 0;
    bool grayscale = false;   // the file's colour space is grayscale
    bool progressive = false; // the file holds more than one scan
};

// A format whose pictures are held as the file's bytes and decoded from
// memory (JPEG, PNG): a format gives the three ways it decodes, and this
// class builds the format's operations on them, the row thumbnail and
// loading by extension through TEncodedPicture.
class EncodedPictureFormat : public PictureFormat {
public:
    using PictureFormat::PictureFormat;

    // Reads the headers only; raises the format's error when they are
    // damaged or missing. Never called with no bytes.
    virtual PictureHeader readHeader(const std::uint8_t *data, std::size_t size) const = 0;

    // Decodes the picture into `into`: at full size when fill is not valid,
    // else at the smallest size the format can cheaply make whose sides
    // still cover fill (full size when none is smaller). Raises the format's
    // error, `into` then holding what was decoded; no bytes raise too.
    virtual void decode(const std::uint8_t *data, std::size_t size, const PictureHeader &header, TBitmap &into,
                        QSize fill) const = 0;

    // Draws the picture stretched over rect of target (32-bit RGB) exactly
    // as decoding it in full and stretching the result would, decoding only
    // the rows the stretch takes and holding none of the others. Raises
    // like decode, target holding what was drawn.
    virtual void stretch(const std::uint8_t *data, std::size_t size, QImage &target, const QRect &rect) const = 0;

    // The headers of the file's first bytes, or of the whole file when they
    // do not hold them all.
    QSize pictureSize(const std::string &path) const override;
    // Loading fails (cannot open, not this format, damaged header): the
    // stand-in and its size. Decoding fails (an empty file included): the
    // stand-in and no size. A file cut short: what it holds, and the size
    // its header gives.
    FormatThumbnail rowThumbnail(const std::string &path) const override;
    // The same rules over any area, streamed like rowThumbnail.
    FormatThumbnail rowThumbnailOver(const std::string &path, QSize area) const override;
    // A file whose first bytes the header reader surely refuses fails to load.
    std::optional<FormatThumbnail> rowThumbnailOfUnrecognised(const std::uint8_t *first,
                                                              std::size_t size) const override;
    // A TEncodedPicture of this format.
    std::unique_ptr<TGraphic> newPicture() const override;
    // decode with fill = atLeast.
    TBitmap smallDecode(const std::string &path, QSize atLeast) const override;

protected:
    // Whether readHeader raises for any file beginning with these bytes (at
    // least one); false when unsure (the default).
    virtual bool refusesHeaderStart(const std::uint8_t *, std::size_t) const { return false; }

private:
    // What a file that fails to load shows over area.
    FormatThumbnail unloadableThumbnail(QSize area) const;
    // The stand-in stretched over the row thumbnail's area, made once: every
    // broken file of a search shows it, and stretching it anew for each
    // cost as much as the rest of its row.
    const TBitmap &standInRowThumbnail() const;

    mutable std::once_flag standInMade_;
    mutable TBitmap standIn_;
};

} // namespace quillmere
