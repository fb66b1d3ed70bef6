#pragma once

#include <QImage>
#include <cstdint>
#include <string>

namespace quillmere::test {

// The bytes of a file held in a string, as the decoders take them.
inline const std::uint8_t *bytes(const std::string &s)
{
    return reinterpret_cast<const std::uint8_t *>(s.data());
}

// The fallback picture as a row's 100 x 75 thumbnail shows it.
QImage fallbackThumbnail();

} // namespace quillmere::test
