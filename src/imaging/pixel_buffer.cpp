#include "imaging/pixel_buffer.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace quillmere {

namespace {

// Images below this size come from QImage's own allocation; recycling pays
// only where page faults dominate.
constexpr std::size_t kRecycleFrom = 1u << 20;
// One spare buffer is kept, and only up to this size, so that one huge
// panorama does not pin a gigabyte for the rest of the run.
constexpr std::size_t kKeepAtMost = 256u << 20;

struct Block {
    void *data;
    std::size_t capacity;
};

std::mutex spareMutex;
Block spare{nullptr, 0};

void giveBack(void *info)
{
    Block *block = static_cast<Block *>(info);
    void *toFree = block->data;
    if (block->capacity <= kKeepAtMost) {
        std::lock_guard lock(spareMutex);
        if (spare.data == nullptr || spare.capacity < block->capacity) {
            toFree = spare.data;
            spare = *block;
        }
    }
    std::free(toFree);
    delete block;
}

Block takeBlock(std::size_t bytes)
{
    {
        std::lock_guard lock(spareMutex);
        // A spare much larger than needed is left for a larger picture.
        if (spare.data != nullptr && spare.capacity >= bytes && spare.capacity / 4 <= bytes) {
            Block block = spare;
            spare = Block{nullptr, 0};
            return block;
        }
    }
    void *data = std::malloc(bytes);
    if (data == nullptr) {
        throw std::bad_alloc();
    }
    return Block{data, bytes};
}

} // namespace

QImage makePixelImage(int width, int height, QImage::Format format, bool clear)
{
    if (width <= 0 || height <= 0) {
        return QImage();
    }
    // QImage pads every row to whole 32-bit words, as bitmap files do.
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    const std::size_t bytesPerLine = ((static_cast<std::size_t>(width) * depth + 31) / 32) * 4;
    const std::size_t bytes = bytesPerLine * static_cast<std::size_t>(height);
    if (bytes < kRecycleFrom) {
        QImage image(width, height, format);
        if (image.isNull()) {
            throw std::bad_alloc();
        }
        if (clear) {
            std::memset(image.bits(), 0, static_cast<std::size_t>(image.sizeInBytes()));
        }
        return image;
    }
    Block *info = new Block{nullptr, 0};
    try {
        *info = takeBlock(bytes);
    } catch (...) {
        delete info;
        throw;
    }
    if (clear) {
        std::memset(info->data, 0, bytes);
    }
    QImage image(static_cast<uchar *>(info->data), width, height, static_cast<qsizetype>(bytesPerLine), format,
                 giveBack, info);
    if (image.isNull()) {
        giveBack(info);
        throw std::bad_alloc();
    }
    return image;
}

void releaseSparePixelBuffer()
{
    std::lock_guard lock(spareMutex);
    std::free(spare.data);
    spare = Block{nullptr, 0};
}

} // namespace quillmere
