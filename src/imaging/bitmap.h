#pragma once

#include "imaging/graphic.h"

#include <QList>
#include <QRgb>
#include <cstdint>
#include <memory>
#include <vector>

namespace quillmere {

class ByteSource;

// A bitmap picture: width, height, bits per pixel, pixel rows and an optional
// palette. A bitmap read from a file keeps the file's depth (a 4-bit file is
// held one byte per pixel but still reports 4 bits); a bitmap that is created
// empty and then given a size is in the display's format, 32-bit RGB, and
// starts all white.
class TBitmap : public TGraphic {
public:
    TBitmap() = default;
    // Copies share pixel rows until one of them is drawn on; the copy is
    // independent all the same. The change notification is not copied.
    TBitmap(const TBitmap &other);
    TBitmap &operator=(const TBitmap &other);

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    // 0 for a bitmap that was never given pixels.
    int BitsPerPixel() const { return bitsPerPixel_; }
    // The colour table the picture came with; empty when it has none.
    const QList<QRgb> &Palette() const { return palette_; }
    // The pixel rows; a null image while either side is 0. Indexed images
    // carry a colour table padded with black to every possible index. A
    // bitmap loaded from a file makes its rows here, on first use.
    const QImage &Image() const { return pixels(); }

    // Sizing turns the bitmap into the display's format: the part that was
    // there is kept, new area is white. Negative sides count as 0; a size
    // above the picture cap raises EInvalidGraphic.
    void SetWidth(int width) { SetSize(width, height_); }
    void SetHeight(int height) { SetSize(width_, height); }
    void SetSize(int width, int height);

    // The pixel rows to draw on, in the display's format (converted first if
    // the bitmap is in another one). Null while either side is 0.
    QImage &Canvas();
    // A copy of the picture in the display's format with the palette applied.
    QImage ToDisplayImage() const;
    // The memory the bitmap holds for its picture: its pixel rows, or the
    // file bytes it still draws from.
    std::uint64_t HeldBytes() const
    {
        return file_ ? file_->size() : static_cast<std::uint64_t>(image_.sizeInBytes());
    }

    // Reads a BMP file (see bmp_reader.h). On failure the bitmap keeps its
    // previous content. Its headers are read and checked at once; its pixel
    // data is kept as the file stores it (never more than the file holds)
    // and drawn from there, so a few bytes claiming a gigapixel cost a few
    // bytes. The pixel rows are made only when asked for (Image, Canvas,
    // ToDisplayImage, sizing).
    void LoadFromFile(const std::string &path) override;
    void LoadFromStream(ByteSource &source);

    // Replaces the whole content by a copy of other's and notifies.
    void Assign(const TBitmap &other);
    // Replaces the whole content by decoded pixels and notifies. A palette
    // given with an indexed image becomes its colour table.
    void SetPixels(QImage image, int bitsPerPixel, QList<QRgb> palette = {});

    void StretchDraw(QImage &target, const QRect &rect) override;

private:
    void copyContent(const TBitmap &other);
    // The pixel rows, made from the kept file first if need be.
    const QImage &pixels() const;

    int width_ = 0;
    int height_ = 0;
    int bitsPerPixel_ = 0;
    QList<QRgb> palette_;
    // Either the pixel rows, or the file they are still to be read from
    // (every byte up to the end of its pixel data).
    mutable QImage image_;
    mutable std::shared_ptr<const std::vector<std::uint8_t>> file_;
};

} // namespace quillmere
