#include "imaging/fallback_picture.h"

#include "imaging/bitmap.h"
#include "imaging/byte_source.h"

#include <QFile>

// Resources compiled into a static library are registered only when
// something refers to them; this does so from outside any namespace, as the
// macro requires.
static void registerImagingResources()
{
    Q_INIT_RESOURCE(imaging);
}

namespace quillmere {

namespace {

TBitmap loadFallbackPicture()
{
    registerImagingResources();
    QFile file(QStringLiteral(":/imaging/corrupt_file.bmp"));
    TBitmap picture;
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        MemorySource source(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        picture.LoadFromStream(source);
    }
    if (picture.Empty()) {
        // Only a build without the resource gets here; a white picture of
        // the same size keeps every caller's sizes right.
        picture.SetSize(100, 80);
    }
    // Its rows are made now, once, so the copies taken of it (on any thread)
    // share them rather than each decoding the stored file again.
    picture.Image();
    return picture;
}

} // namespace

const TBitmap &fallbackPicture()
{
    static const TBitmap picture = loadFallbackPicture();
    return picture;
}

} // namespace quillmere
