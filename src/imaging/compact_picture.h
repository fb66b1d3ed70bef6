#pragma once

#include <QImage>
#include <QSize>
#include <string>
#include <string_view>

namespace quillmere {

// A small opaque picture (a row thumbnail) kept in a few kilobytes instead of
// four bytes a pixel: losslessly compressed, so that it expands to exactly the
// pixels it was made from. Memory-only forms and the cache on disk share it.

// The compact form of `picture`, as its RGB32 pixels with every pixel made
// opaque; empty when it cannot be made (a null picture, out of memory).
std::string CompactPicture(const QImage &picture);

// The RGB32 picture a compact form holds; a null image when the bytes are no
// compact form of a picture of `expected` size.
QImage ExpandPicture(std::string_view compact, QSize expected);

} // namespace quillmere
