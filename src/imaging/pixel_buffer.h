#pragma once

#include <QImage>

namespace quillmere {

// A new image of width x height in the given format for a decoder to fill.
// Large images take their memory from a buffer that an earlier large image
// gave back: decoding one photo after another then writes into memory that is
// already mapped instead of faulting in tens of megabytes per photo. With
// clear the pixels start as zero bytes, otherwise their content is undefined.
// Raises std::bad_alloc when the memory cannot be had.
QImage makePixelImage(int width, int height, QImage::Format format, bool clear);

// Drops the buffer kept for reuse (tests use it to start from a known state).
void releaseSparePixelBuffer();

} // namespace quillmere
