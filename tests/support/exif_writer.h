#pragma once

#include <string>

namespace quillmere::test {

// An EXIF block as TIFF-structured bytes (from "II" or "MM" on), written by
// libexif, whose first image directory holds the orientation tag with value.
std::string exifBlockWithOrientation(int value, bool bigEndian = false);

// A JPEG file with block put in an APP1 "Exif\0\0" segment right after the
// start of image (after any segments given in before).
std::string jpegWithExif(const std::string &jpeg, const std::string &block, const std::string &before = {});

// A PNG file with block put in an eXIf chunk right after the header chunk.
std::string pngWithExif(const std::string &png, const std::string &block);

} // namespace quillmere::test
