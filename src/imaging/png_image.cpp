#include "imaging/png_image.h"

#include "imaging/byte_source.h"
#include "imaging/picture_limits.h"
#include "platform/errors.h"

#include <utility>

namespace quillmere {

TPNGImage::TPNGImage()
    : bytes_(std::make_shared<const std::vector<std::uint8_t>>())
{
}

int TPNGImage::Width() const
{
    if (bytes_->empty() && bitmap_) {
        return bitmap_->Width();
    }
    return header_.width;
}

int TPNGImage::Height() const
{
    if (bytes_->empty() && bitmap_) {
        return bitmap_->Height();
    }
    return header_.height;
}

void TPNGImage::LoadFromFile(const std::string &path)
{
    LoadFromBytes(readWholeFile(path));
}

void TPNGImage::LoadFromBytes(std::vector<std::uint8_t> bytes)
{
    auto data = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    dropDecoded();
    // The new data is in place before the header is read; a damaged header
    // leaves a picture of 0 x 0 pixels and raises.
    bytes_ = data;
    header_ = PngHeader();
    if (!data->empty()) {
        header_ = readPngHeader(data->data(), data->size());
    }
    Changed();
}

void TPNGImage::decodeInto(TBitmap &bitmap, int width, int height) const
{
    if (bytes_->empty()) {
        throw EPNG(QStringLiteral("PNG error: empty file"));
    }
    if (!pictureSizeAllowed(width, height)) {
        throw EPNG(QStringLiteral("PNG error: Image too large"));
    }
    bitmap.SetSize(width, height);
    stretchPng(bytes_->data(), bytes_->size(), bitmap.Canvas(), QRect(0, 0, width, height));
}

void TPNGImage::Decode()
{
    if (bitmap_) {
        return;
    }
    bitmap_ = std::make_unique<TBitmap>();
    decodeInto(*bitmap_, Width(), Height());
}

void TPNGImage::Assign(const TBitmap &bitmap)
{
    bytes_ = std::make_shared<const std::vector<std::uint8_t>>();
    header_ = PngHeader();
    dropDecoded();
    bitmap_ = std::make_unique<TBitmap>(bitmap);
    Changed();
}

void TPNGImage::dropDecoded()
{
    bitmap_.reset();
    displayBitmap_.reset();
    displayDecodeFailed_ = false;
}

void TPNGImage::StretchDraw(QImage &target, const QRect &rect)
{
    if (bitmap_) {
        bitmap_->StretchDraw(target, rect);
        return;
    }
    if (bytes_->empty()) {
        throw EPNG(QStringLiteral("PNG error: empty file"));
    }
    stretchPng(bytes_->data(), bytes_->size(), target, rect);
}

void TPNGImage::DrawForDisplay(QImage &surface, const QRect &area)
{
    if (bitmap_) {
        bitmap_->StretchDraw(surface, area);
        return;
    }
    if (NeedsDisplayDecode(displayBitmap_.get(), area, Width(), displayDecodeFailed_)) {
        // Halve while the result still covers the area.
        int divisor = 1;
        while (divisor < (1 << 20) && (Width() + 2 * divisor - 1) / (2 * divisor) >= area.width() &&
               (Height() + 2 * divisor - 1) / (2 * divisor) >= area.height()) {
            divisor *= 2;
        }
        displayBitmap_ = std::make_unique<TBitmap>();
        try {
            decodeInto(*displayBitmap_, (Width() + divisor - 1) / divisor, (Height() + divisor - 1) / divisor);
        } catch (...) {
            displayDecodeFailed_ = true;
            throw;
        }
    }
    displayBitmap_->StretchDraw(surface, area);
}

} // namespace quillmere
