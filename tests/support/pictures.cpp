#include "support/pictures.h"

#include "imaging/bitmap.h"
#include "imaging/fallback_picture.h"

namespace quillmere::test {

QImage fallbackThumbnail()
{
    TBitmap thumbnail;
    thumbnail.SetSize(100, 75);
    TBitmap(fallbackPicture()).StretchDraw(thumbnail.Canvas(), QRect(0, 0, 100, 75));
    return thumbnail.Image();
}

} // namespace quillmere::test
