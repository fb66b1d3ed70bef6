#pragma once

#include "imaging/bitmap.h"
#include "imaging/graphic.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace quillmere {

// The compressed bytes of a JPEG file with the picture size its header
// gives. Shared between copies of a picture and never changed once made.
struct TJPEGData {
    std::vector<std::uint8_t> bytes;
    int width = 0;
    int height = 0;
};

// A JPEG picture: the file's bytes, read whole, and the header's facts;
// decoded into a bitmap only when it is first drawn or asked to decode.
// Asking for the width or height never decodes.
class TJPEGImage : public TGraphic {
public:
    TJPEGImage();

    // The header's size while the picture holds compressed data, else the
    // size of the bitmap it took over.
    int Width() const override;
    int Height() const override;
    bool Grayscale() const { return grayscale_; }
    bool ProgressiveEncoding() const { return progressive_; }

    // Reads every byte of the file and then its header (no pixel is
    // decoded); drops any decoded bitmap. An empty file gives a 0 x 0
    // picture without error. Raises EFOpenError, EReadError or EJPEG.
    void LoadFromFile(const std::string &path) override;
    void LoadFromBytes(std::vector<std::uint8_t> bytes);

    // Produces the full-size decoded bitmap now unless it exists. The bitmap
    // is held before decoding starts, so after a failure (EJPEG, raised on)
    // it keeps what was decoded up to the error.
    void Decode();
    // The full-size decoded or taken-over bitmap; nullptr before Decode.
    const TBitmap *Bitmap() const { return bitmap_.get(); }

    // Replaces the whole picture by a copy of bitmap: the compressed data is
    // released and from then on size and drawing are the copy's.
    void Assign(const TBitmap &bitmap);

    // Draws the full-size picture stretched over rect. Without a decoded
    // bitmap it decodes only the rows the stretch takes, one at a time, and
    // keeps nothing: the same pixels for a fraction of the memory. A
    // decoding error is raised on.
    void StretchDraw(QImage &target, const QRect &rect) override;

protected:
    // Painting in a window decodes at the smallest DCT scale that still
    // fills the area and keeps that bitmap for the next paints, decoding
    // again only when a larger area needs more pixels. After a failed decode
    // it keeps what was decoded and never decodes again, so a broken picture
    // reports its error once.
    void DrawForDisplay(QImage &surface, const QRect &area) override;

private:
    void dropDecoded();

    std::shared_ptr<const TJPEGData> data_;
    bool grayscale_ = false;
    bool progressive_ = false;
    std::unique_ptr<TBitmap> bitmap_;
    std::unique_ptr<TBitmap> displayBitmap_;
    bool displayDecodeFailed_ = false;
};

} // namespace quillmere
