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

QString AllPicturesMask()
{
    return QStringLiteral("All pictures");
}

QStringList PictureMaskEntries()
{
    QStringList entries = PictureMasks();
    entries.append(AllPicturesMask());
    return entries;
}

namespace {
QStringList patternsOf(const PictureFormat &format)
{
    QStringList patterns;
    for (const std::string &extension : format.extensions()) {
        patterns.append(QStringLiteral("*.") + QString::fromStdString(extension));
    }
    return patterns;
}
} // namespace

QStringList PictureMaskPatterns(const QString &entry)
{
    if (entry.compare(AllPicturesMask(), Qt::CaseInsensitive) == 0
        || entry.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0) {
        QStringList patterns;
        for (const PictureFormat *format : PictureFormats()) {
            patterns.append(patternsOf(*format));
        }
        return patterns;
    }
    if (const PictureFormat *format = PictureFormatForMask(entry)) {
        return patternsOf(*format);
    }
    return {};
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
