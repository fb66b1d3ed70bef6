#pragma once

#include "imaging/bitmap.h"
#include "imaging/encoded_picture_format.h"
#include "imaging/graphic.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace quillmere {

// The bytes of a compressed picture file with what its headers say. Shared
// between copies of a picture and never changed once made.
struct TEncodedData {
    std::vector<std::uint8_t> bytes;
    PictureHeader header;
};

// A compressed picture (JPEG, PNG): the file's bytes, read whole, and the
// headers' facts; decoded into a bitmap only when it is drawn or asked to
// decode, by its format. Asking for the width or height never decodes.
class TEncodedPicture : public TGraphic {
public:
    explicit TEncodedPicture(const EncodedPictureFormat &format);

    const EncodedPictureFormat &Format() const { return *format_; }

    // The header's size while the picture holds file data, else the size of
    // the bitmap it took over.
    int Width() const override;
    int Height() const override;
    bool Grayscale() const { return data_->header.grayscale; }
    bool ProgressiveEncoding() const { return data_->header.progressive; }

    // Reads every byte of the file and then its header (no pixel is
    // decoded); drops any decoded bitmap. An empty file gives a 0 x 0
    // picture without error, which fails to decode. Raises EFOpenError,
    // EReadError or the format's error; a damaged header leaves a picture of
    // 0 x 0 pixels.
    void LoadFromFile(const std::string &path) override;
    void LoadFromBytes(std::vector<std::uint8_t> bytes);

    // Produces the full-size decoded bitmap now unless it exists. The bitmap
    // is held before decoding starts, so after a failure (raised on) it
    // keeps what was decoded up to the error.
    void Decode();
    // The full-size decoded or taken-over bitmap; nullptr before Decode.
    const TBitmap *Bitmap() const { return bitmap_.get(); }

    // Replaces the whole picture by a copy of bitmap: the file data is
    // released and from then on size and drawing are the copy's.
    void Assign(const TBitmap &bitmap);

    // Draws the full-size picture stretched over rect. Without a decoded
    // bitmap it decodes only the rows the stretch takes and keeps nothing:
    // the same pixels for a fraction of the memory. A decoding error is
    // raised on.
    void StretchDraw(QImage &target, const QRect &rect) override;

protected:
    // Painting in a window decodes at the smallest size the format makes
    // that still fills the area and keeps that bitmap for the next paints,
    // decoding again only when a larger area needs more pixels. After a
    // failed decode it keeps what was decoded and never decodes again, so a
    // broken picture reports its error once.
    void DrawForDisplay(QImage &surface, const QRect &area) override;

private:
    void dropDecoded();

    const EncodedPictureFormat *format_;
    std::shared_ptr<const TEncodedData> data_;
    std::unique_ptr<TBitmap> bitmap_;
    std::unique_ptr<TBitmap> displayBitmap_;
    bool displayDecodeFailed_ = false;
};

} // namespace quillmere
