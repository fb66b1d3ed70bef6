#include "imaging/image_list.h"

#include "imaging/bitmap.h"
#include "platform/errors.h"

#include <QPainter>

namespace quillmere {

namespace {
// The store grows by this many entries at a time.
constexpr std::size_t kGrowBy = 4;
} // namespace

int TImageList::Add(const TBitmap &bitmap)
{
    if (bitmap.Width() < EntryWidth || bitmap.Height() < EntryHeight) {
        throw EInvalidOperation(QStringLiteral("Invalid image size"));
    }
    // copy() always makes a deep copy, so the entry shares nothing with the
    // bitmap (nor with a recycled decode buffer).
    QImage entry = bitmap.ToDisplayImage().copy(0, 0, EntryWidth, EntryHeight);
    if (entry.isNull()) {
        throw std::bad_alloc();
    }
    // Entries are fully opaque whatever the pad bytes of the source held.
    for (int y = 0; y < EntryHeight; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(entry.scanLine(y));
        for (int x = 0; x < EntryWidth; ++x) {
            line[x] |= 0xFF000000u;
        }
    }
    if (entries_.size() == entries_.capacity()) {
        entries_.reserve(entries_.size() + kGrowBy);
    }
    entries_.push_back(std::move(entry));
    changed();
    return Count() - 1;
}

void TImageList::Clear()
{
    entries_.clear();
    changed();
}

const QImage &TImageList::Entry(int index) const
{
    if (index < 0 || index >= Count()) {
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    }
    return entries_[static_cast<std::size_t>(index)];
}

void TImageList::Draw(QPainter &painter, const QPoint &point, int index) const
{
    if (index < 0 || index >= Count()) {
        return;
    }
    painter.drawImage(point, entries_[static_cast<std::size_t>(index)]);
}

} // namespace quillmere
