#include "imaging/picture_limits.h"

#include <atomic>

namespace quillmere {

namespace {
std::atomic<std::uint64_t> pixelCap{kDefaultMaxPicturePixels};
} // namespace

std::uint64_t maxPicturePixels()
{
    return pixelCap.load(std::memory_order_relaxed);
}

void setMaxPicturePixels(std::uint64_t pixels)
{
    pixelCap.store(pixels, std::memory_order_relaxed);
}

bool pictureSizeAllowed(std::int64_t width, std::int64_t height)
{
    constexpr std::int64_t kLongestSide = 0xFFFFFFFF;
    if (width <= 0 || height <= 0 || width > kLongestSide || height > kLongestSide) {
        return false;
    }
    // Both sides fit in 32 bits, so the product cannot overflow 64 bits.
    return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <= maxPicturePixels();
}

} // namespace quillmere
