#include "imaging/bitmap.h"

#include "imaging/bmp_reader.h"
#include "imaging/byte_source.h"
#include "imaging/picture_limits.h"
#include "imaging/stretch.h"
#include "platform/errors.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quillmere {

namespace {

bool isDisplayFormat(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32;
}

// Indexed images get a colour table that covers every index of the format,
// so that Qt's own conversions never meet an index without a colour.
void padColourTable(QImage &image, const QList<QRgb> &palette)
{
    int entries = 0;
    if (image.format() == QImage::Format_Indexed8) {
        entries = 256;
    } else if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB) {
        entries = 2;
    } else {
        return;
    }
    QList<QRgb> table(entries, qRgb(0, 0, 0));
    for (int i = 0; i < std::min<int>(entries, static_cast<int>(palette.size())); ++i) {
        table[i] = palette[i] | 0xFF000000u;
    }
    image.setColorTable(table);
}

} // namespace

TBitmap::TBitmap(const TBitmap &other)
    : TGraphic()
{
    copyContent(other);
}

TBitmap &TBitmap::operator=(const TBitmap &other)
{
    if (this != &other) {
        copyContent(other);
    }
    return *this;
}

void TBitmap::copyContent(const TBitmap &other)
{
    width_ = other.width_;
    height_ = other.height_;
    bitsPerPixel_ = other.bitsPerPixel_;
    palette_ = other.palette_;
    image_ = other.image_;
    file_ = other.file_;
}

const QImage &TBitmap::pixels() const
{
    if (file_) {
        MemorySource source(file_->data(), file_->size());
        image_ = readBmp(source).image;
        padColourTable(image_, palette_);
        file_.reset();
    }
    return image_;
}

void TBitmap::SetSize(int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width > 0 && height > 0 && !pictureSizeAllowed(width, height)) {
        throw EInvalidGraphic(QStringLiteral("Bitmap image is not valid"));
    }
    QImage resized;
    if (width > 0 && height > 0) {
        resized = QImage(width, height, QImage::Format_RGB32);
        if (resized.isNull()) {
            throw std::bad_alloc();
        }
        resized.fill(Qt::white);
        if (!pixels().isNull()) {
            const QImage old = ToDisplayImage();
            const int columns = std::min(width, old.width());
            for (int y = 0; y < std::min(height, old.height()); ++y) {
                std::memcpy(resized.scanLine(y), old.constScanLine(y), static_cast<std::size_t>(columns) * 4);
            }
        }
    }
    image_ = std::move(resized);
    file_.reset();
    width_ = width;
    height_ = height;
    bitsPerPixel_ = 32;
    palette_.clear();
    Changed();
}

QImage &TBitmap::Canvas()
{
    if (!pixels().isNull() && !isDisplayFormat(image_.format())) {
        image_ = ToDisplayImage();
        bitsPerPixel_ = 32;
        palette_.clear();
    }
    return image_;
}

QImage TBitmap::ToDisplayImage() const
{
    if (pixels().isNull()) {
        return QImage();
    }
    if (image_.format() == QImage::Format_RGB32) {
        return image_;
    }
    QImage display(image_.size(), QImage::Format_RGB32);
    if (display.isNull()) {
        throw std::bad_alloc();
    }
    stretchPixels(image_, bitsPerPixel_, display, display.rect());
    return display;
}

void TBitmap::LoadFromFile(const std::string &path)
{
    FileSource file(path);
    // Everything the headers take is recorded on the way, then the pixel
    // data is appended, so the kept bytes read like the file itself.
    RecordingSource recorded(file);
    const BmpInfo info = readBmpInfo(recorded);
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(recorded.take());
    const std::size_t headers = bytes->size();
    bytes->resize(headers + static_cast<std::size_t>(info.pixelBytes));
    bytes->resize(headers + file.read(bytes->data() + headers, static_cast<std::size_t>(info.pixelBytes)));

    width_ = info.size.width();
    height_ = info.size.height();
    bitsPerPixel_ = width_ > 0 && height_ > 0 ? info.bitsPerPixel : 0;
    palette_ = info.palette;
    image_ = QImage();
    file_ = bitsPerPixel_ != 0 ? std::move(bytes) : nullptr;
    Changed();
}

void TBitmap::LoadFromStream(ByteSource &source)
{
    DecodedBitmap decoded = readBmp(source);
    SetPixels(std::move(decoded.image), decoded.bitsPerPixel, std::move(decoded.palette));
}

void TBitmap::Assign(const TBitmap &other)
{
    if (this != &other) {
        copyContent(other);
    }
    Changed();
}

void TBitmap::SetPixels(QImage image, int bitsPerPixel, QList<QRgb> palette)
{
    padColourTable(image, palette);
    width_ = image.width();
    height_ = image.height();
    bitsPerPixel_ = image.isNull() ? 0 : bitsPerPixel;
    palette_ = std::move(palette);
    image_ = std::move(image);
    file_.reset();
    Changed();
}

void TBitmap::StretchDraw(QImage &target, const QRect &rect)
{
    if (file_) {
        // Straight from the file's bytes: the same pixels as the rows would
        // give, without making them.
        if (target.format() != QImage::Format_RGB32 && target.format() != QImage::Format_ARGB32 &&
            target.format() != QImage::Format_ARGB32_Premultiplied) {
            target = target.convertToFormat(QImage::Format_RGB32);
        }
        MemorySource source(file_->data(), file_->size());
        stretchBmp(source, target, rect);
        return;
    }
    stretchPixels(image_, bitsPerPixel_, target, rect);
}

} // namespace quillmere
