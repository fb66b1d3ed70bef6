#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"
#include "search/name_mask.h"

#include <gtest/gtest.h>

namespace quillmere {
namespace {

std::string upper(std::string text)
{
    for (char &c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

TEST(FileMask, theMaskListOffersTheDesignedMasksFirstThenEveryOtherFormatThenAllPictures)
{
    const QStringList entries = PictureMaskEntries();
    ASSERT_EQ(entries.size(), static_cast<qsizetype>(PictureFormats().size()) + 1);
    EXPECT_EQ(entries.mid(0, 3), QStringList({QStringLiteral("*.jpg"), QStringLiteral("*.bmp"), QStringLiteral("*.png")}));
    EXPECT_EQ(entries.back(), QStringLiteral("All pictures"));
    for (std::size_t i = 0; i < PictureFormats().size(); ++i) {
        EXPECT_EQ(entries[static_cast<qsizetype>(i)], PictureFormats()[i]->mask());
    }
}

TEST(FileMask, anEntryListsEveryExtensionOfItsFormatInAnyCase)
{
    const struct {
        const char *name;
        const char *mask;
        bool listed;
    } cases[] = {
        {"x.JPEG", "*.jpg", true}, {"x.jpe", "*.jpg", true}, {"x.Jpe", "*.jpg", true}, {"x.jpg", "*.JPG", true},
        {"x.jpeg", "*.png", false}, {"a.jpg.bak", "*.jpg", false}, {"x.jpegs", "*.jpg", false},
        {"x.PNG", "All pictures", true}, {"x.bmp", "all", true}, {"x.jpe", "ALL", true}, {"x.txt", "All pictures", false},
        {"a.png.bak", "All pictures", false}, {"a.jpg.png", "All pictures", true}, {"jpg", "All pictures", false},
        // Text that is no entry is a wildcard mask of its own.
        {"a.dat", "*.dat", true}, {"a.jpeg", "*.jp?", false}, {"a.jpe", "*.jp?", true},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(FileMask(QString::fromUtf8(c.mask)).matches(c.name), c.listed) << c.name << " / " << c.mask;
    }
}

TEST(FileMask, everyRegisteredExtensionIsListedByItsEntryAndAllPicturesAndNoBackupIs)
{
    const FileMask all(QStringLiteral("All pictures"));
    for (const PictureFormat *format : PictureFormats()) {
        const FileMask own(format->mask());
        for (const std::string &extension : format->extensions()) {
            for (const std::string &name : {"x." + extension, "x." + upper(extension), "a.jpg." + extension}) {
                EXPECT_TRUE(own.matches(name)) << name;
                EXPECT_TRUE(all.matches(name)) << name;
            }
            EXPECT_FALSE(all.matches("a." + extension + ".bak")) << extension;
            EXPECT_FALSE(all.matches("a." + extension + "x")) << extension;
            for (const PictureFormat *other : PictureFormats()) {
                if (other != format && !other->claimsExtension(extension)) {
                    EXPECT_FALSE(FileMask(other->mask()).matches("x." + extension)) << extension;
                }
            }
        }
    }
}

} // namespace
} // namespace quillmere
