#include "imaging/picture.h"
#include "imaging/picture_content.h"
#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"
#include "imaging/row_thumbnail.h"
#include "support/picture_samples.h"
#include "support/pictures.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

using namespace quillmere;
using namespace quillmere::test;

namespace {

const PictureFormat &formatNamed(const char *name)
{
    for (const PictureFormat *format : PictureFormats()) {
        if (format->name() == QLatin1String(name)) {
            return *format;
        }
    }
    throw std::runtime_error(name);
}

std::string upper(std::string text)
{
    for (char &c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

} // namespace

// The name decides how many thumbnail steps run; the content decides how each
// reads the file.
TEST(PictureContent, theNameCountsTheStepsAndTheContentReadsThem)
{
    TempTree tree;
    const std::string png = samples().at(QStringLiteral("PNG")).write(64, 48);
    const std::string bmp = samples().at(QStringLiteral("BMP")).write(30, 20);
    const std::string jpeg = samples().at(QStringLiteral("JPEG")).write(40, 30);
    const QImage pngThumbnail = formatNamed("PNG").rowThumbnail(tree.writeFile("real.png", png)).thumbnail.ToDisplayImage();
    const QImage standIn = fallbackThumbnail();
    const struct {
        const char *name;
        std::string content;
        std::size_t entries;
        bool ownPicture;
        std::optional<QString> resolution;
    } cases[] = {
        {"x.JPEG", jpeg, 1, true, QStringLiteral("40 X 30")},
        {"x.jpe", jpeg, 1, true, QStringLiteral("40 X 30")},
        {"x.JPE", jpeg, 1, true, QStringLiteral("40 X 30")},
        {"x.PNG", png, 1, true, QStringLiteral("64 X 48")},
        {"a png.jpg", png, 1, true, QStringLiteral("64 X 48")},
        {"a bmp.png", bmp, 1, true, QStringLiteral("30 X 20")},
        {"a jpeg.bmp", jpeg, 1, true, QStringLiteral("40 X 30")},
        // Two steps by name, both read as the PNG the file is.
        {"two.bmp.jpg", png, 2, true, QStringLiteral("64 X 48")},
        // No format reads it: each step's own rules for a file it cannot load.
        {"words.png", std::string(300, 'w'), 1, false, QStringLiteral("100 X 80")},
        {"words.jpg", std::string(300, 'w'), 1, false, QStringLiteral("100 X 80")},
        {"words.bmp", std::string(300, 'w'), 1, false, std::nullopt},
        {"a.png.bak", png, 0, false, std::nullopt},
    };
    for (const auto &c : cases) {
        const std::string path = tree.writeFile(c.name, c.content);
        const DecodedThumbnails decoded = decodeThumbnails(path);
        ASSERT_EQ(decoded.entries.size(), c.entries) << c.name;
        for (const DecodedThumbnails::Entry &entry : decoded.entries) {
            EXPECT_EQ(entry.ownPicture, c.ownPicture) << c.name;
            if (!c.ownPicture) {
                EXPECT_EQ(entry.thumbnail.ToDisplayImage(), standIn) << c.name;
            }
        }
        EXPECT_EQ(decoded.resolution, c.resolution) << c.name;
    }
    // The PNG named .jpg shows exactly the PNG's thumbnail.
    EXPECT_EQ(decodeThumbnails(tree.path("a png.jpg")).entries[0].thumbnail.ToDisplayImage(), pngThumbnail);
}

TEST(PictureContent, theImageViewAndTheListedSizeFollowTheContent)
{
    TempTree tree;
    const std::string pngNamedJpg = tree.writeFile("shot.jpg", samples().at(QStringLiteral("PNG")).write(64, 48));
    TPicture holder;
    LoadPictureByExtension(holder, pngNamedJpg);
    EXPECT_EQ(QSize(holder.Width(), holder.Height()), QSize(64, 48));
    EXPECT_EQ(UprightPictureSize(pngNamedJpg), QSize(64, 48));
    EXPECT_EQ(PictureFormatOfContent(pngNamedJpg), &formatNamed("PNG"));

    // Nothing reads a text file: the named kind fails and the holder keeps
    // its picture; no size is listed.
    const std::string words = tree.writeFile("words.png", std::string(300, 'w'));
    EXPECT_ANY_THROW(LoadPictureByExtension(holder, words));
    EXPECT_EQ(QSize(holder.Width(), holder.Height()), QSize(64, 48));
    EXPECT_EQ(UprightPictureSize(words), std::nullopt);
    EXPECT_EQ(PictureFormatOfContent(words), nullptr);
    EXPECT_EQ(PictureFormatOfContent(tree.path("gone.png")), nullptr);
    tree.makeFifo("fifo.png");
    EXPECT_EQ(PictureFormatOfContent(tree.path("fifo.png")), nullptr);
    // The extension still says whether a file is a picture at all.
    EXPECT_ANY_THROW(LoadPictureByExtension(holder, tree.writeFile("shot.txt", samples().at(QStringLiteral("PNG")).write(8, 8))));
}

TEST(PictureContent, everyFormatsFilesAreReadByContentWhateverTheirName)
{
    TempTree tree;
    for (const PictureFormat *format : PictureFormats()) {
        const std::string content = sampleOf(*format).write(48, 32);
        for (const PictureFormat *named : PictureFormats()) {
            const std::string name = format->name().toStdString() + "-as." + upper(named->extensions().back());
            const std::string path = tree.writeFile(name, content);
            EXPECT_EQ(PictureFormatOfContent(path), format) << name;
            const DecodedThumbnails decoded = decodeThumbnails(path);
            ASSERT_FALSE(decoded.entries.empty()) << name;
            EXPECT_TRUE(decoded.entries.back().ownPicture) << name;
            EXPECT_EQ(decoded.resolution, QStringLiteral("48 X 32")) << name;
        }
    }
}
