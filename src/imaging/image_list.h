#pragma once

#include <QImage>
#include <QPoint>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
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
// and reads no file. A picture is compressed on a thread of the list's own,
// so adding costs the window's thread little more than a copy; until then
// it is kept as it was added.
class TImageList {
public:
    TImageList() = default;
    ~TImageList();
    TImageList(const TImageList &) = delete;
    TImageList &operator=(const TImageList &) = delete;

    static constexpr int EntryWidth = 100;
    static constexpr int EntryHeight = 75;
    // Expanded pictures kept: the rows a tall window shows and a page of
    // them above and below, with room to spare.
    static constexpr std::size_t kExpandedKept = 128;
    // Pictures added last kept expanded for comparing the next ones with.
    static constexpr std::size_t kAddedKept = 16;
    // Pictures a thread expands at least, when a page is expanded at once.
    static constexpr std::size_t kExpandedPerThread = 3;
    // Pictures waiting to be compressed before Add waits for the thread.
    static constexpr std::size_t kMostWaiting = 256;

    int Width() const { return EntryWidth; }
    int Height() const { return EntryHeight; }
    int Count() const { return static_cast<int>(entries_.size()); }

    // Appends a copy of bitmap (its top-left 100 x 75 pixels, converted to
    // the display's format) and returns the new index. A bitmap narrower
    // than 100 or lower than 75 pixels raises EInvalidOperation "Invalid
    // image size".
    int Add(const TBitmap &bitmap);

    // An entry made ready to add, on any thread: the copy of the bitmap
    // Add would make, a hash of its pixels, and when already made, their
    // compact form (which then is not made again).
    struct PreparedEntry {
        QImage pixels;
        std::uint64_t hash = 0;
        std::string compact;
    };
    // Raises as Add does for a bitmap too small.
    static PreparedEntry PrepareEntry(const TBitmap &bitmap);
    // An entry of pixels that are already an entry's (opaque, 100 x 75, in
    // the display's format), with their compact form.
    static PreparedEntry PreparedPixels(QImage pixels, std::string compact);
    // Appends an entry made by PrepareEntry or PreparedPixels; the same as
    // adding its bitmap.
    int Add(PreparedEntry entry);
    // Removes every entry.
    void Clear();

    // The pixels of entry index; raises EListError when there is none.
    QImage Entry(int index) const;
    // Draws entry index with its top-left corner at point; an index without
    // an entry draws nothing.
    void Draw(QPainter &painter, const QPoint &point, int index) const;
    // Expands entry index ahead of drawing it (rows about to be scrolled
    // into view); an index without an entry does nothing.
    void Prepare(int index) const;
    // The same for many entries at once (the rows of a page), their pictures
    // expanded side by side on every processor.
    void Prepare(const std::vector<int> &indices) const;

    // How many distinct pictures the entries show, and the bytes the
    // compact forms made so far take.
    int pictureCount() const { return static_cast<int>(pictures_.size()); }
    std::size_t compactBytes() const;
    // Returns once every picture added is compressed.
    void finishCompacting() const;

    // Called after every change, so that views using the list repaint.
    std::function<void()> OnChange;

private:
    void changed() const
    {
        if (OnChange) {
            OnChange();
        }
    }
    // Expanded pictures, the least recently used making room for new ones.
    struct KeptPictures {
        explicit KeptPictures(std::size_t capacity)
            : capacity(capacity)
        {
        }
        const QImage *find(std::uint32_t picture);
        void keep(std::uint32_t picture, const QImage &pixels);

        struct Kept {
            std::uint32_t picture;
            QImage pixels;
            std::uint64_t lastUse;
        };
        std::size_t capacity;
        std::vector<Kept> items;
        std::uint64_t uses = 0;
    };

    // The stored picture with exactly these pixels, or -1.
    int findPicture(const QImage &pixels, std::uint64_t hash) const;
    // The pixels of stored picture number `picture`, kept in `kept`; a null
    // image only when there is no memory to expand it.
    const QImage &expanded(std::uint32_t picture, KeptPictures &kept) const;

    void compactInTurn();

    // The picture each entry shows.
    std::vector<std::uint32_t> entries_;
    // Each distinct picture's compact form; empty while it waits.
    std::vector<std::string> pictures_;
    // Guards what the compressing thread shares: the elements of pictures_
    // (the vector itself changes only on the list's own thread, under it),
    // waiting_, queue_, compactBytes_ and the flags.
    mutable std::mutex mutex_;
    mutable std::condition_variable workAdded_;
    mutable std::condition_variable workDone_;
    // The pixels of pictures not yet compressed, by picture number, and
    // the order they are compressed in.
    std::unordered_map<std::uint32_t, QImage> waiting_;
    std::deque<std::uint32_t> queue_;
    bool compacting_ = false; // the thread holds a picture taken from queue_
    bool stopping_ = false;
    // Counts Clear(), so a picture compressed for a list since emptied is
    // dropped.
    std::uint64_t generation_ = 0;
    std::size_t compactBytes_ = 0;
    std::thread compactor_;
    // The pictures by a hash of their pixels.
    std::unordered_multimap<std::uint64_t, std::uint32_t> byPixels_;

    // The pictures drawn (and about to be drawn) last, and apart from them
    // the pictures added last, which the next added are compared with: a
    // search adding rows never pushes the shown rows' pictures out.
    mutable KeptPictures shown_{kExpandedKept};
    mutable KeptPictures added_{kAddedKept};
};

} // namespace quillmere
