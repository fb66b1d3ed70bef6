#include "imaging/picture_formats.h"

#include "imaging/picture_format.h"
#include "platform/file_identity.h"

namespace quillmere {

// Each format is defined in its own file (jpeg_format.cpp, ...).
const PictureFormat &jpegFormat();
const PictureFormat &bmpFormat();
const PictureFormat &pngFormat();
const PictureFormat &heicFormat();
const PictureFormat &avifFormat();
const PictureFormat &webpFormat();
const PictureFormat &tiffFormat();
const PictureFormat &gifFormat();

const std::vector<const PictureFormat *> &PictureFormats()
{
    static const std::vector<const PictureFormat *> formats = {
        &jpegFormat(),
        &bmpFormat(),
        &pngFormat(),
        &heicFormat(),
        &avifFormat(),
        &webpFormat(),
        &tiffFormat(),
        &gifFormat(),
    };
    return formats;
}

QStringList PictureMasks()
{
    QStringList masks;
    for (const PictureFormat *format : PictureFormats()) {
        masks.append(format->mask());
    }
    return masks;
}

const PictureFormat *PictureFormatForMask(const QString &mask)
{
    for (const PictureFormat *format : PictureFormats()) {
        if (mask.compare(format->mask(), Qt::CaseInsensitive) == 0) {
            return format;
        }
    }
    return nullptr;
}

std::vector<const PictureFormat *> PictureFormatsNamedBy(const std::string &path)
{
    std::string name = NameOfPath(path);
    for (char &c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    std::vector<const PictureFormat *> named;
    for (const PictureFormat *format : PictureFormats()) {
        if (format->namesFile(name)) {
            named.push_back(format);
        }
    }
    return named;
}

} // namespace quillmere
