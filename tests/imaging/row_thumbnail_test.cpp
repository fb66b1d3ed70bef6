#include "imaging/bitmap.h"
#include "imaging/fallback_picture.h"
#include "imaging/image_list.h"
#include "imaging/jpeg_format.h"
#include "imaging/picture.h"
#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"
#include "imaging/row_thumbnail.h"
#include "support/picture_fixtures.h"
#include "support/pictures.h"
#include "platform/errors.h"
#include "support/temp_tree.h"

#include <QPainter>
#include <cstdio>
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <jerror.h>
#include <tuple>

using namespace quillmere;
using namespace quillmere::test;

namespace {

QRgb halves(int x, int)
{
    return x < 320 ? qRgb(230, 20, 20) : qRgb(20, 20, 230);
}

std::string jpegFile(int width = 640, int height = 480)
{
    JpegSpec recipe;
    recipe.width = width;
    recipe.height = height;
    return encodeJpeg(recipe, halves);
}

std::string bmpFile(int width, int height)
{
    BmpSpec s;
    s.width = width;
    s.height = height;
    s.pixels = packRows(width, height, 24, [](int, int) { return qRgb(0, 128, 0); });
    return buildBmp(s);
}

struct Row {
    int returned;
    int entries;
    QString res;
};

class RowThumbnail : public ::testing::Test {
protected:
    Row make(const std::string &name, const std::string &content)
    {
        return make(tree.writeFile(name, content));
    }
    Row make(const std::string &path)
    {
        const int before = list.Count();
        const ThumbnailOutcome outcome = makeThumbnails(path, list);
        return {outcome.shownIndex, list.Count() - before, outcome.resolution.value_or(QString())};
    }
    TempTree tree;
    TImageList list;
};

} // namespace

TEST(ThumbnailNames, onlyTheFileNameCountsAndAnySubstringMatches)
{
    const auto steps = [](const std::string &path) {
        std::string initials;
        for (const PictureFormat *format : PictureFormatsNamedBy(path)) {
            initials += format->name().front().toLatin1();
        }
        return initials;
    };
    EXPECT_EQ(steps("/p/Photo.JPG"), "J");
    EXPECT_EQ(steps("/p/photo.jpeg"), "J");
    EXPECT_EQ(steps("/p/a.jpg.bak"), "J");
    EXPECT_EQ(steps("/p/x.BMP"), "B");
    EXPECT_EQ(steps("/p/photo.bmp.jpg"), "JB");
    EXPECT_EQ(steps("/p/holiday.jpg.bmp"), "JB");
    EXPECT_EQ(steps("/pics.jpg/x.tga"), "");
    EXPECT_EQ(steps("/p/x.gif.bak"), "");
    EXPECT_EQ(steps("/p/x.jp g"), "");
    EXPECT_EQ(steps("/p/x.PNG"), "P");
    EXPECT_EQ(steps("/p/a.png.bak"), "");
    EXPECT_EQ(steps("/p/a.jpg.png"), "JP");
    EXPECT_EQ(steps("/shots.png/notes.txt"), "");
    EXPECT_EQ(resolutionText(640, 480), QStringLiteral("640 X 480"));
}

TEST_F(RowThumbnail, everyFileGetsItsDesignedEntriesAndResolution)
{
    const QImage fallback = fallbackThumbnail();
    Row r = make("good.jpg", jpegFile());
    EXPECT_EQ(r.returned, 0);
    EXPECT_EQ(r.entries, 1);
    EXPECT_EQ(r.res, QStringLiteral("640 X 480"));
    EXPECT_LE(colourDistance(list.Entry(0).pixel(10, 40), qRgb(230, 20, 20)), 8);
    EXPECT_LE(colourDistance(list.Entry(0).pixel(90, 40), qRgb(20, 20, 230)), 8);

    r = make("text.jpg", "just some words");
    EXPECT_EQ(r.res, QStringLiteral("100 X 80"));
    EXPECT_EQ(list.Entry(r.returned), fallback);

    r = make("empty.jpg", "");
    EXPECT_EQ(r.entries, 1);
    EXPECT_EQ(r.res, QString());
    EXPECT_EQ(list.Entry(r.returned), fallback);

    r = make("huge.jpg", withJpegFrameSize(jpegFile(), 65500, 65500));
    EXPECT_EQ(r.res, QString());
    EXPECT_EQ(list.Entry(r.returned), fallback);

    const std::string whole = jpegFile(640, 480);
    r = make("na\xEFve-\xFF.jpg", whole); // a name that is not UTF-8
    EXPECT_EQ(r.res, QStringLiteral("640 X 480"));
    r = make("cut.jpg", whole.substr(0, whole.size() / 2));
    EXPECT_EQ(r.res, QStringLiteral("640 X 480"));
    EXPECT_LE(colourDistance(list.Entry(r.returned).pixel(10, 5), qRgb(230, 20, 20)), 8);

    r = make("good.bmp", bmpFile(30, 20));
    EXPECT_EQ(r.res, QStringLiteral("30 X 20"));
    EXPECT_EQ(list.Entry(r.returned).pixel(50, 50), qRgb(0, 128, 0));

    r = make("empty.bmp", "");
    EXPECT_EQ(r.res, QStringLiteral("0 X 0"));
    EXPECT_EQ(list.Entry(r.returned).pixel(50, 50), qRgb(255, 255, 255));

    r = make("x.tga", "GIF89a");
    EXPECT_EQ(r.returned, -1);
    EXPECT_EQ(r.entries, 0);
    EXPECT_EQ(r.res, QString());
}

TEST_F(RowThumbnail, brokenBitmapsGetTheFallbackInsteadOfEndingTheSearch)
{
    const QImage fallback = fallbackThumbnail();
    Row r = make("bad.bmp", "GIF89a and more");
    EXPECT_EQ(r.entries, 1);
    EXPECT_EQ(r.res, QString());
    EXPECT_EQ(list.Entry(r.returned), fallback);

    r = make("short.bmp", bmpFile(5, 3).substr(0, 20));
    EXPECT_EQ(r.entries, 1);
    EXPECT_EQ(list.Entry(r.returned), fallback);

    // A JPEG named .bmp.jpg: two steps by its name, both read as the JPEG
    // file it is, so both entries show the photo.
    r = make("photo.bmp.jpg", jpegFile());
    EXPECT_EQ(r.entries, 2);
    EXPECT_EQ(r.returned, list.Count() - 1);
    EXPECT_EQ(r.res, QStringLiteral("640 X 480"));
    EXPECT_LE(colourDistance(list.Entry(r.returned).pixel(10, 40), qRgb(230, 20, 20)), 8);
    EXPECT_EQ(list.Entry(r.returned - 1), list.Entry(r.returned));

    // A bitmap named .jpg.bmp: both steps read the bitmap.
    r = make("holiday.jpg.bmp", bmpFile(30, 20));
    EXPECT_EQ(r.entries, 2);
    EXPECT_EQ(r.returned, list.Count() - 1);
    EXPECT_EQ(r.res, QStringLiteral("30 X 20"));
    EXPECT_EQ(list.Entry(r.returned - 1), list.Entry(r.returned));
    EXPECT_EQ(list.Entry(r.returned).pixel(50, 50), qRgb(0, 128, 0));

    // Neither step can read it: the row shows the last stand-in.
    r = make("text.jpg.bmp", "neither");
    EXPECT_EQ(r.entries, 2);
    EXPECT_EQ(r.returned, list.Count() - 1);
    EXPECT_EQ(list.Entry(r.returned), fallback);

    // Files that vanished or cannot be read as files.
    const int gone = make(tree.path("gone.bmp")).returned;
    EXPECT_EQ(gone, list.Count() - 1);
    EXPECT_EQ(list.Entry(gone), fallback);
    EXPECT_NO_THROW(make(tree.makeFifo("pipe.jpg")));
}

TEST_F(RowThumbnail, pngFilesGetTheirOwnPictureOrTheFallback)
{
    const QImage fallback = fallbackThumbnail();
    PngSpec s;
    s.width = 640;
    s.height = 480;
    const std::string green = encodePng(s, [](int, int, int c) { return c == 1 ? 160u : 0u; });

    Row r = make("x.PNG", green);
    EXPECT_EQ(r.entries, 1);
    EXPECT_EQ(r.res, QStringLiteral("640 X 480"));
    EXPECT_EQ(list.Entry(r.returned).pixel(50, 40), qRgb(0, 160, 0));

    r = make("a.png.bak", green);
    EXPECT_EQ(r.entries, 0);
    EXPECT_EQ(r.returned, -1);

    // Both steps, both reading the PNG the file is.
    r = make("a.jpg.png", green);
    EXPECT_EQ(r.entries, 2);
    EXPECT_EQ(list.Entry(r.returned - 1), list.Entry(r.returned));
    EXPECT_EQ(list.Entry(r.returned).pixel(50, 40), qRgb(0, 160, 0));
    EXPECT_EQ(r.res, QStringLiteral("640 X 480"));

    // As for JPEG files: not a PNG, the stand-in and its size; an empty
    // file or data that fails, the stand-in and no size; a cut file, its rows.
    std::string damaged = green;
    damaged[green.find("IDAT") + 40] ^= 0x20;
    for (const auto &[name, content, res] : {std::tuple {"words.png", std::string("not a picture"), "100 X 80"},
                                             std::tuple {"empty.png", std::string(), ""},
                                             std::tuple {"damaged.png", damaged, ""}}) {
        r = make(name, content);
        EXPECT_EQ(list.Entry(r.returned), fallback) << name;
        EXPECT_EQ(r.res, QString::fromLatin1(res)) << name;
    }
    s.compression = 0;
    const std::string raw = encodePng(s, [](int, int, int c) { return c == 1 ? 160u : 0u; });
    r = make("cut.png", raw.substr(0, raw.size() / 3));
    EXPECT_EQ(r.res, QStringLiteral("640 X 480"));
    EXPECT_EQ(list.Entry(r.returned).pixel(50, 5), qRgb(0, 160, 0));
    EXPECT_EQ(list.Entry(r.returned).pixel(50, 70), qRgb(255, 255, 255));
}

TEST(FallbackPicture, isAnAntiAliasedCaptionInItsBox)
{
    const TBitmap &picture = fallbackPicture();
    ASSERT_EQ(picture.Width(), 100);
    ASSERT_EQ(picture.Height(), 80);
    EXPECT_EQ(picture.BitsPerPixel(), 24);
    const QImage image = picture.ToDisplayImage();
    QRect ink;
    int black = 0;
    int grey = 0;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 100; ++x) {
            const QRgb c = image.pixel(x, y);
            if (c != qRgb(255, 255, 255)) {
                ink |= QRect(x, y, 1, 1);
                ++(qRed(c) < 40 ? black : grey);
                EXPECT_TRUE(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c));
            }
        }
    }
    EXPECT_EQ(ink, QRect(QPoint(1, 32), QPoint(98, 49)));
    EXPECT_GT(black, 100);
    EXPECT_GT(grey, 100);
}

TEST(ImageList, keepsIndependentCopiesOfTheRightSize)
{
    TImageList list;
    int changes = 0;
    list.OnChange = [&] { ++changes; };
    TBitmap small;
    small.SetSize(99, 75);
    EXPECT_THROW(list.Add(small), EInvalidOperation);
    small.SetSize(100, 74);
    try {
        list.Add(small);
        FAIL() << "no error";
    } catch (const EInvalidOperation &e) {
        EXPECT_STREQ(e.what(), "Invalid image size");
    }

    TBitmap thumb;
    thumb.SetSize(100, 75);
    thumb.Canvas().setPixel(99, 74, qRgb(1, 2, 3));
    EXPECT_EQ(list.Add(thumb), 0);
    thumb.Canvas().fill(Qt::black); // the list holds its own copy
    TBitmap larger;
    larger.SetSize(300, 200);
    EXPECT_EQ(list.Add(larger), 1);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(list.Entry(0).pixel(99, 74), qRgb(1, 2, 3));
    EXPECT_EQ(list.Entry(1).size(), QSize(100, 75));

    QImage surface(120, 90, QImage::Format_RGB32);
    surface.fill(Qt::white);
    QPainter painter(&surface);
    list.Draw(painter, QPoint(10, 5), 0);
    list.Draw(painter, QPoint(0, 0), 7); // no such entry: nothing
    painter.end();
    EXPECT_EQ(surface.pixel(109, 79), qRgb(1, 2, 3));

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(changes, 3);
    EXPECT_THROW(list.Entry(0), EListError);
}

TEST(LoadPictureByExtension, loadsByKindAndKeepsThePictureOnFailure)
{
    TempTree tree;
    TPicture holder;
    int changes = 0;
    holder.OnChange = [&] { ++changes; };
    LoadPictureByExtension(holder, tree.writeFile("photo.JPG", jpegFile(640, 480)));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(holder.Width(), 640);
    auto *jpeg = dynamic_cast<TJPEGImage *>(holder.Graphic());
    ASSERT_NE(jpeg, nullptr);
    EXPECT_EQ(jpeg->Bitmap(), nullptr); // decoded only when painted

    const auto errorOf = [&](const std::string &name, const std::string &content) -> std::string {
        try {
            LoadPictureByExtension(holder, tree.writeFile(name, content));
        } catch (const Exception &e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_EQ(errorOf("x.TGA", "GIF89a"), "Unknown picture file extension (.TGA)");
    EXPECT_EQ(errorOf("noextension", ""), "Unknown picture file extension (.)");
    EXPECT_EQ(errorOf("shape.wmf", "wmf"), "Metafile pictures cannot be shown");
    EXPECT_EQ(errorOf("bad.bmp", "XX" + std::string(60, '\0')), "Bitmap image is not valid");
    EXPECT_EQ(errorOf("bad.jpeg", "XX"), "JPEG error #" + std::to_string(JERR_NO_SOI));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(holder.Width(), 640);

    LoadPictureByExtension(holder, tree.writeFile("Small.Bmp", bmpFile(30, 20)));
    EXPECT_EQ(holder.Height(), 20);
    QImage surface(60, 40, QImage::Format_RGB32);
    QPainter painter(&surface);
    holder.Draw(painter, surface.rect());
    painter.end();
    EXPECT_EQ(surface.pixel(59, 39), qRgb(0, 128, 0));

    // PNG files load by their extension too, in any letter case.
    PngSpec png;
    png.width = 64;
    png.height = 48;
    LoadPictureByExtension(holder, tree.writeFile("shot.PNG", encodePng(png, [](int, int, int) { return 9u; })));
    EXPECT_EQ(holder.Width(), 64);
    EXPECT_EQ(holder.Height(), 48);
    EXPECT_THROW(LoadPictureByExtension(holder, tree.writeFile("words.png", "not a picture")), EPNG);
    EXPECT_EQ(holder.Width(), 64);
}
