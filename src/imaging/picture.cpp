#include "imaging/picture.h"

#include "imaging/orientation.h"
#include "imaging/picture_content.h"
#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"
#include "imaging/upright_picture.h"
#include "platform/errors.h"
#include "platform/file_identity.h"
#include "platform/path_text.h"

#include <algorithm>

namespace quillmere {

namespace {

// Windows metafiles and icons keep their place in the registry, so that
// their extensions are recognised, but the program has no decoder for them:
// loading one fails cleanly. No search produces such files.
class TUndecodedGraphic : public TGraphic {
public:
    explicit TUndecodedGraphic(QString kind)
        : kind_(std::move(kind))
    {
    }
    int Width() const override { return 0; }
    int Height() const override { return 0; }
    void LoadFromFile(const std::string &) override
    {
        throw EInvalidGraphic(QStringLiteral("%1 pictures cannot be shown").arg(kind_));
    }
    void StretchDraw(QImage &, const QRect &) override {}

private:
    QString kind_;
};

std::unique_ptr<TGraphic> createMetafile()
{
    return std::make_unique<TUndecodedGraphic>(QStringLiteral("Metafile"));
}
std::unique_ptr<TGraphic> createIcon()
{
    return std::make_unique<TUndecodedGraphic>(QStringLiteral("Icon"));
}

std::string asciiLower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

} // namespace

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic)
{
    graphic_ = std::move(graphic);
    if (OnChange) {
        OnChange();
    }
}

void TPicture::Draw(QPainter &painter, const QRect &rect) const
{
    if (graphic_) {
        graphic_->Draw(painter, rect);
    }
}

const std::vector<PictureKind> &RegisteredPictureKinds()
{
    // The picture layer's own kinds first, then every extension of every
    // picture format, in the formats' order.
    static const std::vector<PictureKind> kinds = [] {
        std::vector<PictureKind> all = {{"wmf", createMetafile}, {"emf", createMetafile}, {"ico", createIcon}};
        for (const PictureFormat *format : PictureFormats()) {
            for (const std::string &extension : format->extensions()) {
                all.push_back({extension, [format] { return format->newPicture(); }});
            }
        }
        return all;
    }();
    return kinds;
}

void LoadPictureByExtension(TPicture &holder, const std::string &path)
{
    const std::string name = NameOfPath(path);
    const std::size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    const std::string key = asciiLower(extension);

    const std::vector<PictureKind> &kinds = RegisteredPictureKinds();
    const auto found = std::find_if(kinds.rbegin(), kinds.rend(), [&](const PictureKind &k) { return k.extension == key; });
    if (found == kinds.rend()) {
        throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(ShownPath(extension)));
    }
    // The extension says whether the file is a picture at all; its content
    // says which kind reads it, so a PNG file named x.jpg shows its picture.
    const PictureFormat *content = PictureFormatOfContent(path);
    std::unique_ptr<TGraphic> graphic = content != nullptr ? content->newPicture() : found->create();
    graphic->LoadFromFile(path);
    const int orientation = content != nullptr ? OrientationOf(*content, path) : kUpright;
    if (orientation != kUpright) {
        graphic = std::make_unique<TUprightPicture>(std::move(graphic), orientation);
    }
    holder.SetGraphic(std::move(graphic));
}

} // namespace quillmere
