#include "imaging/image_list.h"
#include "imaging/picture.h"
#include "imaging/row_thumbnail.h"
#include "support/picture_fixtures.h"
#include "platform/errors.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

using namespace quillmere;
using namespace quillmere::test;

namespace {

// Links that took the place of found files after the listing: to a good
// picture, to a device and to a FIFO. None may be followed when the picture is
// loaded; each is treated like a file that cannot be opened.
class FoundFileLinks : public ::testing::Test {
protected:
    FoundFileLinks()
    {
        JpegSpec recipe;
        jpeg = tree.writeFile("real.jpg", encodeJpeg(recipe, [](int, int) { return qRgb(10, 200, 10); }));
        BmpSpec bmp;
        bmp.width = 8;
        bmp.height = 6;
        bmp.pixels = packRows(8, 6, 24, [](int, int) { return qRgb(0, 0, 255); });
        bitmap = tree.writeFile("real.bmp", buildBmp(bmp));
        fifo = tree.makeFifo("fifo");
    }
    // Links named `stem` + extension to each of the three targets.
    std::vector<std::string> linksNamed(const std::string &stem, const std::string &extension)
    {
        const std::string picture = extension == ".bmp" ? bitmap : jpeg;
        return { tree.makeSymlink(stem + "-picture" + extension, picture),
                 tree.makeSymlink(stem + "-device" + extension, "/dev/zero"),
                 tree.makeSymlink(stem + "-fifo" + extension, fifo) };
    }

    TempTree tree;
    std::string jpeg;
    std::string bitmap;
    std::string fifo;
};

TEST_F(FoundFileLinks, loadingByExtensionRefusesThemAndKeepsThePreviousPicture)
{
    TPicture holder;
    LoadPictureByExtension(holder, jpeg);
    ASSERT_EQ(holder.Width(), 32);
    for (const std::string extension : { ".jpg", ".bmp" }) {
        for (const std::string &link : linksNamed("view", extension)) {
            try {
                LoadPictureByExtension(holder, link);
                ADD_FAILURE() << "followed " << link;
            } catch (const EFOpenError &error) {
                EXPECT_EQ(error.message(), QStringLiteral("Cannot open file \"%1\". Not a regular file")
                                               .arg(QString::fromStdString(link)));
            }
            EXPECT_EQ(holder.Width(), 32);
        }
    }
}

TEST_F(FoundFileLinks, rowThumbnailsShowTheFallbackPicture)
{
    TImageList list;
    int row = 0;
    for (const std::string extension : { ".jpg", ".bmp" }) {
        for (const std::string &link : linksNamed("row", extension)) {
            const ThumbnailOutcome outcome = makeThumbnails(link, list);
            EXPECT_EQ(outcome.shownIndex, row++) << link;
            // The stand-in's size for a JPEG file by name; none for a bitmap.
            EXPECT_EQ(outcome.resolution.value_or(QString()),
                      extension == ".jpg" ? QStringLiteral("100 X 80") : QString())
                << link;
        }
    }
    EXPECT_EQ(list.Count(), 6);
}

} // namespace

TEST_F(FoundFileLinks, anErrorNamesTheFileAsPeopleReadIt)
{
    TPicture holder;
    const std::string odd = tree.path("caf\xe9\nphoto.jpg");
    try {
        LoadPictureByExtension(holder, odd);
        ADD_FAILURE() << "loaded a file that does not exist";
    } catch (const EFOpenError &error) {
        EXPECT_TRUE(error.message().contains(QStringLiteral("caf\\xE9\\nphoto.jpg"))) << error.message().toStdString();
    }
}
