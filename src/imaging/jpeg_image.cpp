#include "imaging/jpeg_image.h"

#include "imaging/byte_source.h"
#include "imaging/jpeg_codec.h"

#include <utility>

namespace quillmere {

TJPEGImage::TJPEGImage()
    : data_(std::make_shared<const TJPEGData>())
{
}

int TJPEGImage::Width() const
{
    if (data_->bytes.empty() && bitmap_) {
        return bitmap_->Width();
    }
    return data_->width;
}

int TJPEGImage::Height() const
{
    if (data_->bytes.empty() && bitmap_) {
        return bitmap_->Height();
    }
    return data_->height;
}

void TJPEGImage::LoadFromFile(const std::string &path)
{
    LoadFromBytes(readWholeFile(path));
}

void TJPEGImage::LoadFromBytes(std::vector<std::uint8_t> bytes)
{
    auto data = std::make_shared<TJPEGData>();
    data->bytes = std::move(bytes);
    dropDecoded();
    grayscale_ = false;
    progressive_ = false;
    data_ = data;
    if (!data->bytes.empty()) {
        // The new data is in place before the header is read; a damaged
        // header leaves a picture of 0 x 0 pixels and raises.
        const JpegHeader header = readJpegHeader(data->bytes.data(), data->bytes.size());
        data->width = header.width;
        data->height = header.height;
        grayscale_ = header.grayscale;
        progressive_ = header.progressive;
    }
    Changed();
}

void TJPEGImage::Decode()
{
    if (bitmap_) {
        return;
    }
    bitmap_ = std::make_unique<TBitmap>();
    decodeJpeg(data_->bytes.data(), data_->bytes.size(), *bitmap_);
}

void TJPEGImage::Assign(const TBitmap &bitmap)
{
    data_ = std::make_shared<const TJPEGData>();
    grayscale_ = false;
    progressive_ = false;
    dropDecoded();
    bitmap_ = std::make_unique<TBitmap>(bitmap);
    Changed();
}

void TJPEGImage::dropDecoded()
{
    bitmap_.reset();
    displayBitmap_.reset();
    displayDecodeFailed_ = false;
}

void TJPEGImage::StretchDraw(QImage &target, const QRect &rect)
{
    if (bitmap_) {
        bitmap_->StretchDraw(target, rect);
        return;
    }
    stretchJpeg(data_->bytes.data(), data_->bytes.size(), target, rect);
}

void TJPEGImage::DrawForDisplay(QImage &surface, const QRect &area)
{
    if (bitmap_) {
        bitmap_->StretchDraw(surface, area);
        return;
    }
    if (NeedsDisplayDecode(displayBitmap_.get(), area, Width(), displayDecodeFailed_)) {
        displayBitmap_ = std::make_unique<TBitmap>();
        try {
            decodeJpeg(data_->bytes.data(), data_->bytes.size(), *displayBitmap_, area.size());
        } catch (...) {
            displayDecodeFailed_ = true;
            throw;
        }
    }
    displayBitmap_->StretchDraw(surface, area);
}

} // namespace quillmere
