#pragma once

#include <QImage>
#include <string>

namespace quillmere::test {

class TempTree;

// A picture's pixels as a file of a format, through the libraries' own
// encoders.
std::string jpegOf(const QImage &image, int quality = 92);
std::string pngOf(const QImage &image);

// A folder holding one photo and its changed copies, plus a photo of
// another scene that must stay apart from them.
struct SimilarCopies {
    std::string original;  // 640 x 480 JPEG at quality 92: the best copy
    std::string resized;   // 320 x 240 JPEG
    std::string reencoded; // 640 x 480 JPEG at quality 55, a smaller file
    std::string converted; // 480 x 360 PNG
    std::string sameBytes; // a byte-for-byte copy of the resized one
    std::string distinct;  // another scene
};
SimilarCopies writeSimilarCopies(const TempTree &tree, const std::string &folder = {});

} // namespace quillmere::test
