#pragma once

#include "imaging/bitmap.h"
#include "imaging/graphic.h"
#include "imaging/png_codec.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace quillmere {

// A PNG picture, kept like a JPEG picture: the file's bytes, read whole, and
// its header; pixels are decoded only when it is drawn or asked to decode.
class TPNGImage : public TGraphic {
public:
    TPNGImage();

    // The header's size while the picture holds file data, else the size of
    // the bitmap it took over.
    int Width() const override;
    int Height() const override;

    // Reads every byte of the file and then its header (no pixel is
    // decoded); drops any decoded bitmap. An empty file gives a 0 x 0
    // picture without error, which fails to decode. Raises EFOpenError,
    // EReadError or EPNG.
    void LoadFromFile(const std::string &path) override;
    void LoadFromBytes(std::vector<std::uint8_t> bytes);

    // Produces the full-size decoded bitmap now unless it exists (32-bit
    // RGB, transparency laid over white). The bitmap is held before decoding
    // starts, so after a failure (EPNG, raised on) it keeps what was decoded.
    void Decode();
    // The full-size decoded or taken-over bitmap; nullptr before Decode.
    const TBitmap *Bitmap() const { return bitmap_.get(); }

    // Replaces the whole picture by a copy of bitmap: the file data is
    // released and from then on size and drawing are the copy's.
    void Assign(const TBitmap &bitmap);

    // Draws the picture stretched over rect. Without a decoded bitmap it
    // streams the rows from the file data and keeps nothing. A decoding
    // error is raised on.
    void StretchDraw(QImage &target, const QRect &rect) override;

protected:
    // Painting in a window decodes at the largest reduction by a power of
    // two that still fills the area, keeps that bitmap for the next paints
    // and decodes again only when a larger area needs more pixels. After a
    // failed decode it keeps what was decoded and never decodes again, so a
    // broken picture reports its error once.
    void DrawForDisplay(QImage &surface, const QRect &area) override;

private:
    void dropDecoded();
    // The data's own picture drawn stretched into a new bitmap of size.
    void decodeInto(TBitmap &bitmap, int width, int height) const;

    std::shared_ptr<const std::vector<std::uint8_t>> bytes_;
    PngHeader header_;
    std::unique_ptr<TBitmap> bitmap_;
    std::unique_ptr<TBitmap> displayBitmap_;
    bool displayDecodeFailed_ = false;
};

} // namespace quillmere
