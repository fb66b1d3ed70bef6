#include "imaging/bitmap.h"
#include "imaging/compact_memo.h"
#include "imaging/compact_picture.h"
#include "imaging/image_list.h"
#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"
#include "imaging/row_thumbnail.h"
#include "platform/errors.h"
#include "support/picture_samples.h"
#include "support/temp_tree.h"

#include <QPainter>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace quillmere;
using namespace quillmere::test;

namespace {

constexpr QPoint kAt(7, 9);

// A canvas larger than an entry, in a colour no entry has, with one picture
// drawn at kAt: what a table cell shows.
QImage canvasWith(const std::function<void(QPainter &)> &draw)
{
    QImage canvas(120, 95, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(qRgba(255, 0, 255, 128));
    QPainter painter(&canvas);
    draw(painter);
    return canvas;
}

// What an entry showed when every entry was a plain opaque copy of its
// bitmap's top-left 100 x 75 display pixels.
QImage plainEntry(const TBitmap &bitmap)
{
    QImage entry = bitmap.ToDisplayImage().copy(0, 0, TImageList::EntryWidth, TImageList::EntryHeight);
    for (int y = 0; y < entry.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(entry.scanLine(y));
        for (int x = 0; x < entry.width(); ++x) {
            line[x] |= 0xFF000000u;
        }
    }
    return entry;
}

TBitmap noiseBitmap(quint32 seed)
{
    TBitmap bitmap;
    bitmap.SetWidth(TImageList::EntryWidth);
    bitmap.SetHeight(TImageList::EntryHeight);
    QImage &pixels = bitmap.Canvas();
    QRandomGenerator random(seed);
    for (int y = 0; y < pixels.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(pixels.scanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            line[x] = random.generate(); // the top byte too: entries must come out opaque
        }
    }
    return bitmap;
}

void expectDrawsAsPlainCopy(const TImageList &list, int index, const TBitmap &bitmap, const std::string &what)
{
    const QImage plain = plainEntry(bitmap);
    EXPECT_EQ(list.Entry(index), plain) << what;
    const QImage drawn = canvasWith([&](QPainter &painter) { list.Draw(painter, kAt, index); });
    const QImage wanted = canvasWith([&](QPainter &painter) { painter.drawImage(kAt, plain); });
    EXPECT_EQ(drawn, wanted) << what;
}

TEST(ImageList, EveryKindOfThumbnailAndTheStandInDrawTheirOwnPixels)
{
    TempTree tree;
    std::vector<std::pair<std::string, std::string>> files;
    for (const PictureFormat *format : PictureFormats()) {
        files.emplace_back("sample." + format->extensions().front(), sampleOf(*format).write(160, 120));
    }
    // Not a picture at all: the stand-in.
    files.emplace_back("broken.jpg", "no picture here");
    TImageList list;
    std::vector<std::pair<TBitmap, std::string>> added;
    for (const auto &[name, bytes] : files) {
        const DecodedThumbnails decoded = decodeThumbnails(tree.writeFile(name, bytes));
        ASSERT_FALSE(decoded.entries.empty()) << name;
        for (const DecodedThumbnails::Entry &entry : decoded.entries) {
            const int index = list.Add(entry.thumbnail);
            ASSERT_EQ(index, static_cast<int>(added.size()));
            added.emplace_back(entry.thumbnail, name);
        }
    }
    // Pictures with a pixel of every colour, and junk in the unused top byte.
    for (quint32 seed = 1; seed <= 3; ++seed) {
        list.Add(noiseBitmap(seed));
        added.emplace_back(noiseBitmap(seed), "noise " + std::to_string(seed));
    }
    // As many pictures again push them all out of the expanded ones kept:
    // they are drawn from their compact form.
    for (std::size_t i = 0; i < TImageList::kExpandedKept; ++i) {
        list.Add(noiseBitmap(static_cast<quint32>(1000 + i)));
    }
    list.finishCompacting();
    for (std::size_t i = 0; i < added.size(); ++i) {
        expectDrawsAsPlainCopy(list, static_cast<int>(i), added[i].first, added[i].second);
    }
    EXPECT_LT(list.compactBytes(), std::size_t(list.Count()) * 100 * 75 * 4);
}

TEST(ImageList, KeepsOnePictureForEveryEntryThatShowsIt)
{
    TempTree tree;
    const DecodedThumbnails broken = decodeThumbnails(tree.writeFile("broken.jpg", "no picture here"));
    ASSERT_EQ(broken.entries.size(), 1u);
    const TBitmap &standIn = broken.entries.front().thumbnail;
    TImageList list;
    for (int i = 0; i < 500; ++i) {
        list.Add(standIn);
    }
    EXPECT_EQ(list.Count(), 500);
    EXPECT_EQ(list.pictureCount(), 1);
    list.finishCompacting();
    const std::size_t onePicture = list.compactBytes();

    // One pixel different is another picture, and each draws its own.
    TBitmap touched = standIn;
    touched.Canvas().setPixel(50, 40, qRgb(1, 2, 3));
    list.Add(touched);
    list.Add(standIn);
    EXPECT_EQ(list.pictureCount(), 2);
    list.finishCompacting();
    EXPECT_GT(list.compactBytes(), onePicture);
    expectDrawsAsPlainCopy(list, 499, standIn, "stand-in");
    expectDrawsAsPlainCopy(list, 500, touched, "touched");
    expectDrawsAsPlainCopy(list, 501, standIn, "stand-in again");

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.pictureCount(), 0);
    EXPECT_EQ(list.compactBytes(), 0u);
}

TEST(ImageList, EntriesLongOutOfViewComeBackExactAndBadIndicesKeepTheirErrors)
{
    TImageList list;
    const int count = static_cast<int>(TImageList::kExpandedKept) + 20;
    for (int i = 0; i < count; ++i) {
        list.Add(noiseBitmap(static_cast<quint32>(100 + i)));
    }
    list.finishCompacting();
    // The first entries were expanded long ago and are expanded again.
    for (const int index : {0, 1, count - 1, 0}) {
        expectDrawsAsPlainCopy(list, index, noiseBitmap(static_cast<quint32>(100 + index)), std::to_string(index));
    }
    // A bitmap whose pixels are one of the first added again is that picture.
    list.Add(noiseBitmap(100));
    EXPECT_EQ(list.pictureCount(), count);
    expectDrawsAsPlainCopy(list, count, noiseBitmap(100), "repeated");

    EXPECT_THROW(
        {
            try {
                list.Entry(count + 1);
            } catch (const EListError &error) {
                EXPECT_EQ(error.message(), QStringLiteral("List index out of bounds (%1)").arg(count + 1));
                throw;
            }
        },
        EListError);
    EXPECT_THROW(list.Entry(-1), EListError);
    const QImage untouched = canvasWith([](QPainter &) {});
    EXPECT_EQ(canvasWith([&](QPainter &painter) { list.Draw(painter, kAt, -1); }), untouched);
    EXPECT_EQ(canvasWith([&](QPainter &painter) { list.Draw(painter, kAt, count + 1); }), untouched);

    // Emptied while pictures wait to be compressed: what is added after
    // shows its own pixels, never a picture of before.
    for (quint32 round = 0; round < 3; ++round) {
        const quint32 before = 5000 + round * 1000;
        const quint32 after = before + 100;
        for (quint32 i = 0; i < 40; ++i) {
            list.Add(noiseBitmap(before + i));
        }
        list.Clear();
        for (quint32 i = 0; i < 40; ++i) {
            list.Add(noiseBitmap(after + i));
        }
        // As many again, so the forty are drawn from their compact forms.
        for (std::size_t i = 0; i < TImageList::kExpandedKept; ++i) {
            list.Add(noiseBitmap(static_cast<quint32>(after + 100 + i)));
        }
        list.finishCompacting();
        EXPECT_EQ(list.pictureCount(), 40 + static_cast<int>(TImageList::kExpandedKept));
        for (quint32 i = 0; i < 40; ++i) {
            expectDrawsAsPlainCopy(list, static_cast<int>(i), noiseBitmap(after + i), "after emptying");
        }
        list.Clear();
    }
}

} // namespace

TEST(ImageList, EntriesThatComeCompressedDrawTheirOwnPixelsAndAreOnePictureWithTheirPlainCopies)
{
    const TBitmap a = noiseBitmap(7);
    const TBitmap b = noiseBitmap(8);
    CompactMemo memo;
    TImageList::PreparedEntry preparedA = TImageList::PrepareEntry(a);
    preparedA.compact = memo.compactOf(preparedA);
    TImageList::PreparedEntry preparedB = TImageList::PrepareEntry(b);
    preparedB.compact = memo.compactOf(preparedB);
    ASSERT_FALSE(preparedA.compact.empty());
    EXPECT_EQ(memo.compactOf(TImageList::PrepareEntry(a)), preparedA.compact);
    EXPECT_NE(preparedB.compact, preparedA.compact);

    TImageList list;
    list.Add(preparedA);
    list.Add(b);
    list.Add(a);
    // As taken from a cache: the pixels expanded from the compact form.
    list.Add(TImageList::PreparedPixels(ExpandPicture(preparedB.compact, QSize(100, 75)), preparedB.compact));
    EXPECT_EQ(list.pictureCount(), 2);
    // Pushed out of every expanded picture kept: drawn from the compact forms.
    for (std::size_t i = 0; i < TImageList::kExpandedKept; ++i) {
        list.Add(noiseBitmap(static_cast<quint32>(2000 + i)));
    }
    list.finishCompacting();
    // A page of them expanded at once, on several threads.
    std::vector<int> page{0, 1, 2, 3};
    for (int i = 0; i < 12; ++i) {
        page.push_back(4 + i * 9);
    }
    list.Prepare(page);
    expectDrawsAsPlainCopy(list, 0, a, "prepared with its compact form");
    expectDrawsAsPlainCopy(list, 2, a, "its plain copy");
    expectDrawsAsPlainCopy(list, 3, b, "expanded from a compact form");
    for (int i = 0; i < 12; ++i) {
        expectDrawsAsPlainCopy(list, 4 + i * 9, noiseBitmap(static_cast<quint32>(2000 + i * 9)), "page");
    }

    TImageList::PreparedEntry small = TImageList::PrepareEntry(a);
    small.pixels = small.pixels.copy(0, 0, 50, 50);
    EXPECT_THROW(list.Add(small), EInvalidOperation);
}
