#pragma once

#include "imaging/encoded_picture.h"

namespace quillmere {

class PictureFormat;

// PNG files ("*.png"; only a name ending in ".png" asks for its thumbnail
// step, so a backup such as "a.png.bak" is not read as a picture), decoded
// by libpng (png_codec.h): 32-bit RGB, transparency laid over white.
const PictureFormat &pngFormat();

// A PNG picture: an encoded picture of the PNG format.
class TPNGImage : public TEncodedPicture {
public:
    TPNGImage();
};

} // namespace quillmere
