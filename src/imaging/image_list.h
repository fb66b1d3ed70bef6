#pragma once

#include <QImage>
#include <QPoint>
#include <functional>
#include <vector>

class QPainter;

namespace quillmere {

class TBitmap;

// The thumbnail list (ImageList1): entries of 100 x 75 pixels in the
// display's format, fully opaque, indexed from 0 in the order of addition.
// Entries are independent copies of the bitmaps added.
class TImageList {
public:
    static constexpr int EntryWidth = 100;
    static constexpr int EntryHeight = 75;

    int Width() const { return EntryWidth; }
    int Height() const { return EntryHeight; }
    int Count() const { return static_cast<int>(entries_.size()); }

    // Appends a copy of bitmap (its top-left 100 x 75 pixels, converted to
    // the display's format) and returns the new index. A bitmap narrower
    // than 100 or lower than 75 pixels raises EInvalidOperation "Invalid
    // image size".
    int Add(const TBitmap &bitmap);
    // Removes every entry.
    void Clear();

    // Entry index; raises EListError when there is none.
    const QImage &Entry(int index) const;
    // Draws entry index with its top-left corner at point; an index without
    // an entry draws nothing.
    void Draw(QPainter &painter, const QPoint &point, int index) const;

    // Called after every change, so that views using the list repaint.
    std::function<void()> OnChange;

private:
    void changed() const
    {
        if (OnChange) {
            OnChange();
        }
    }

    std::vector<QImage> entries_;
};

} // namespace quillmere
