#pragma once

#include <QImage>
#include <QRect>
#include <vector>

namespace quillmere {

// Draws a picture stretched onto a rectangle of a target image from the
// picture's rows as a decoder delivers them, so that the whole picture never
// has to be held. It knows which source rows and columns the stretch reads;
// a decoder hands over only those rows (in any order), and may skip the
// others. stretchPixels draws whole pictures through it too, so a streamed
// picture and a fully decoded one come out pixel for pixel the same.
//
// Nearest: each target pixel takes exactly one source pixel (rows and
// columns dropped or repeated). AndReduce: the source pixels that fall onto
// one target pixel are combined by a bitwise AND of their colours, so that
// thin black lines on white survive a reduction (for one-bit pictures).
class RowStretcher {
public:
    enum class Mode { Nearest, AndReduce };

    // target must be in a 32-bit RGB format. Parts of rect outside target
    // are clipped; nothing is drawn when either is empty or they miss.
    RowStretcher(int sourceWidth, int sourceHeight, QImage &target, const QRect &rect, Mode mode);

    // Whether any source row is read at all.
    bool active() const { return rowFirst_ < rowLast_; }
    // The first source row read at or after y; the source height when none.
    int nextRow(int y) const;
    bool needsRow(int y) const { return nextRow(y) == y; }
    // Nearest only: the source rows and the source columns read, each
    // ascending and distinct.
    const std::vector<int> &rows() const { return rows_; }
    const std::vector<int> &columns() const { return columns_; }

    // Hands over source row y, one that needsRow: pixel(x) gives the colour
    // of source column x. Nearest asks only for the columns in columns();
    // AndReduce asks for every column of the spans, one after the other.
    template <class PixelAt>
    void putRow(int y, PixelAt &&pixel)
    {
        if (mode_ == Mode::Nearest) {
            for (std::size_t i = 0; i < columns_.size(); ++i) {
                sampled_[i] = pixel(columns_[i]);
            }
        } else {
            for (std::size_t x = 0; x < sampled_.size(); ++x) {
                QRgb value = 0xFFFFFFFFu;
                for (int column = columnFirst_[x]; column < columnLast_[x]; ++column) {
                    value &= pixel(column);
                }
                sampled_[x] = value;
            }
        }
        putSampledRow(y, sampled_.data());
    }
    // Nearest only: the same with the colours of columns() already picked,
    // in that order.
    void putSampledRow(int y, const QRgb *sampled) { apply(y, y + 1, sampled); }

    // Hands over the source rows [first, last) at once, all of them alike
    // (rows a file lacks, for example); pixel as for putRow. The cost
    // depends on the target's size, not on how many rows the range holds.
    template <class PixelAt>
    void putRepeatedRow(int first, int last, PixelAt &&pixel)
    {
        if (nextRow(first) < last) {
            putRow(nextRow(first), pixel);
            apply(first, last, sampled_.data());
        }
    }

    // Writes what AndReduce has combined into the target; rows never handed
    // over count as white there. Nothing to do for Nearest.
    void finish();

private:
    // The source span [first, last) that clip row `row` reads.
    std::pair<int, int> rowSpan(int row) const;
    // Draws (Nearest) or combines (AndReduce) sampled into every clip row
    // that reads a source row in [first, last).
    void apply(int first, int last, const QRgb *sampled);

    QImage &target_;
    QRect clip_;    // the part of the target that is written
    QRect stretch_; // the whole stretched rectangle
    Mode mode_;
    int sourceWidth_;
    int sourceHeight_;
    // The source rows read: rows_ for Nearest (ascending, distinct), the
    // range [rowFirst_, rowLast_) for AndReduce.
    std::vector<int> rows_;
    int rowFirst_ = 0;
    int rowLast_ = 0;
    std::vector<int> columns_;
    // For each clip column: the index into columns_ (Nearest) or the source
    // span [first, last) it combines (AndReduce).
    std::vector<int> columnFirst_;
    std::vector<int> columnLast_;
    // Nearest: the picked colours of columns_; AndReduce: one combined colour
    // per clip column.
    std::vector<QRgb> sampled_;
    std::vector<QRgb> combined_; // AndReduce: clip width x clip height
};

} // namespace quillmere
