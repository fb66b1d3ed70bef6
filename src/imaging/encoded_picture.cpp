#include "imaging/encoded_picture.h"

#include "imaging/byte_source.h"

#include <utility>

namespace quillmere {

TEncodedPicture::TEncodedPicture(const EncodedPictureFormat &format)
    : format_(&format)
    , data_(std::make_shared<const TEncodedData>())
{
}

int TEncodedPicture::Width() const
{
    if (data_->bytes.empty() && bitmap_) {
        return bitmap_->Width();
    }
    return data_->header.width;
}

int TEncodedPicture::Height() const
{
    if (data_->bytes.empty() && bitmap_) {
        return bitmap_->Height();
    }
    return data_->header.height;
}

void TEncodedPicture::LoadFromFile(const std::string &path)
{
    LoadFromBytes(readWholeFile(path));
}

void TEncodedPicture::LoadFromBytes(std::vector<std::uint8_t> bytes)
{
    auto data = std::make_shared<TEncodedData>();
    data->bytes = std::move(bytes);
    dropDecoded();
    // The new data is in place before the header is read; a damaged header
    // leaves a picture of 0 x 0 pixels and raises.
    data_ = data;
    if (!data->bytes.empty()) {
        data->header = format_->readHeader(data->bytes.data(), data->bytes.size());
    }
    Changed();
}

void TEncodedPicture::Decode()
{
    if (bitmap_) {
        return;
    }
    bitmap_ = std::make_unique<TBitmap>();
    format_->decode(data_->bytes.data(), data_->bytes.size(), data_->header, *bitmap_, QSize());
}

void TEncodedPicture::Assign(const TBitmap &bitmap)
{
    data_ = std::make_shared<const TEncodedData>();
    dropDecoded();
    bitmap_ = std::make_unique<TBitmap>(bitmap);
    Changed();
}

void TEncodedPicture::dropDecoded()
{
    bitmap_.reset();
    displayBitmap_.reset();
    displayDecodeFailed_ = false;
}

void TEncodedPicture::StretchDraw(QImage &target, const QRect &rect)
{
    if (bitmap_) {
        bitmap_->StretchDraw(target, rect);
        return;
    }
    format_->stretch(data_->bytes.data(), data_->bytes.size(), target, rect);
}

void TEncodedPicture::DrawForDisplay(QImage &surface, const QRect &area)
{
    if (bitmap_) {
        bitmap_->StretchDraw(surface, area);
        return;
    }
    if (NeedsDisplayDecode(displayBitmap_.get(), area, Width(), displayDecodeFailed_)) {
        displayBitmap_ = std::make_unique<TBitmap>();
        try {
            format_->decode(data_->bytes.data(), data_->bytes.size(), data_->header, *displayBitmap_, area.size());
        } catch (...) {
            displayDecodeFailed_ = true;
            throw;
        }
    }
    displayBitmap_->StretchDraw(surface, area);
}

} // namespace quillmere
