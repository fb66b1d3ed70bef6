#pragma once

#include "imaging/encoded_picture.h"

namespace quillmere {

class PictureFormat;

// JPEG files ("*.jpg", which also lists .jpeg and .jpe files; ".jpg",
// ".jpeg" or ".jpe" anywhere in a file's name asks for its thumbnail step),
// decoded by libjpeg (jpeg_codec.h).
const PictureFormat &jpegFormat();

// A JPEG picture: an encoded picture of the JPEG format.
class TJPEGImage : public TEncodedPicture {
public:
    TJPEGImage();
};

} // namespace quillmere
