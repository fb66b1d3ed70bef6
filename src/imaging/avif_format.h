#pragma once

#include "platform/errors.h"

namespace quillmere {

class PictureFormat;

// AVIF files ("*.avif"), decoded by libavif: the file's primary picture,
// turned upright by its rotation and mirror boxes, transparency laid over
// white. Only a name ending in ".avif" asks for its thumbnail steps.
const PictureFormat &avifFormat();

// A file libavif cannot read or decode, or one it is not allowed to.
class EAVIF : public Exception {
public:
    using Exception::Exception;
};

} // namespace quillmere
