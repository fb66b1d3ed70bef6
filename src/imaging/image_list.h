#pragma once

#include <QImage>
#include <QPoint>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

class QPainter;

namespace quillmere {

class TBitmap;

// The thumbnail list (ImageList1): entries of 100 x 75 pixels in the
// display's format, fully opaque, indexed from 0 in the order of addition.
// Entries are independent copies of the bitmaps added.
//
// A search may add a hundred thousand entries, so they are kept compactly:
// each distinct picture once, losslessly compressed, however many entries
// show it (every broken file shows the same stand-in picture; identical
// files show identical thumbnails). The few pictures drawn or added last are
// also kept expanded, so painting the visible rows expands nothing twice
// and reads no file.
class TImageList {
public:
    static constexpr int EntryWidth = 100;
    static constexpr int EntryHeight = 75;
    // Expanded pictures kept: more than the rows a tall window shows.
    static constexpr std::size_t kExpandedKept = 64;

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

    // The pixels of entry index; raises EListError when there is none.
    QImage Entry(int index) const;
    // Draws entry index with its top-left corner at point; an index without
    // an entry draws nothing.
    void Draw(QPainter &painter, const QPoint &point, int index) const;

    // How many distinct pictures the entries show, and the bytes their
    // compact forms take.
    int pictureCount() const { return static_cast<int>(pictures_.size()); }
    std::size_t compactBytes() const { return compactBytes_; }

    // Called after every change, so that views using the list repaint.
    std::function<void()> OnChange;

private:
    void changed() const
    {
        if (OnChange) {
            OnChange();
        }
    }
    // The stored picture with exactly these pixels, or -1.
    int findPicture(const QImage &pixels, std::uint64_t hash) const;
    // The pixels of stored picture number `picture`; a null image only when
    // there is no memory to expand it.
    const QImage &expanded(std::uint32_t picture) const;
    void keepExpanded(std::uint32_t picture, const QImage &pixels) const;

    // The picture each entry shows.
    std::vector<std::uint32_t> entries_;
    // Each distinct picture's compact form.
    std::vector<std::string> pictures_;
    std::size_t compactBytes_ = 0;
    // The pictures by a hash of their pixels.
    std::unordered_multimap<std::uint64_t, std::uint32_t> byPixels_;

    struct Expanded {
        std::uint32_t picture;
        QImage pixels;
        std::uint64_t lastUse;
    };
    mutable std::vector<Expanded> expanded_;
    mutable std::uint64_t uses_ = 0;
};

} // namespace quillmere
