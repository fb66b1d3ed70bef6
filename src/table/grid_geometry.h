#pragma once

#include "table/data_grid.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <utility>
#include <vector>

namespace quillmere {

// Side of the check box square in a check-box cell.
inline constexpr int kCheckBoxSide = 13;
// Gap between a cell's edge and left- or right-aligned content.
inline constexpr int kCellMargin = 2;

// Offset of an item of size `inner` inside a span of size `outer`: `margin`
// from the start, `margin` from the end, or centred (the span's centre minus
// half the item, each half rounded down).
int alignedOffset(TAlignment alignment, int outer, int inner, int margin = kCellMargin);

// Top-left corner of an image of `imageSize` placed in `cell` by the column's
// horizontal alignment and the vertical centring that every column uses.
QPoint imageTopLeft(const QRect &cell, QSize imageSize, TAlignment alignment);

// The check box square of a check-box cell, placed like an image.
QRect checkBoxRect(const QRect &cell, TAlignment alignment);

// What lies under a point of the viewport.
struct GridHit {
    enum Kind { Nothing, Header, Cell };
    Kind kind = Nothing;
    int column = -1;
    int row = -1;

    bool operator==(const GridHit &) const = default;
};

// The layout of a table on its viewport: columns side by side in index order
// (hidden ones take no room), an optional header band fixed at the top, rows of
// equal height below it, and a one-pixel grid line after every cell when grid
// lines are on. Cell rectangles exclude the grid lines. Contents are shifted
// by the scroll offsets; the header moves only horizontally.
class GridGeometry {
public:
    struct ColumnSpec {
        int width = 0;
        bool visible = true;
    };

    GridGeometry(const std::vector<ColumnSpec> &columns, int rowCount, int rowHeight, int headerHeight,
                 bool gridLines);

    // The layout of `grid` as its view shows it; `extraWidth` pixels are
    // added to the column `stretchColumn`.
    static GridGeometry of(const TDataGrid &grid, int headerHeight, int stretchColumn = -1, int extraWidth = 0);
    // Its rows alone, without columns or header: cheap to make, and the
    // rows it shows in view are at least those the whole layout shows.
    static GridGeometry rowsOf(const TDataGrid &grid);

    int columnCount() const { return static_cast<int>(left_.size()); }
    int rowCount() const { return rowCount_; }
    int headerHeight() const { return headerHeight_; }
    int lineWidth() const { return lineWidth_; }
    // Distance from the top of one row to the top of the next.
    int rowPitch() const { return rowHeight_ + lineWidth_; }
    bool columnShown(int column) const;

    // Size of all rows and columns, header excluded, unscrolled.
    int contentWidth() const { return contentWidth_; }
    int contentHeight() const { return rowCount_ * rowPitch(); }

    void setScroll(int x, int y)
    {
        scrollX_ = x;
        scrollY_ = y;
    }
    int scrollX() const { return scrollX_; }
    int scrollY() const { return scrollY_; }

    // Rectangles in viewport coordinates. A hidden column gives an empty
    // rectangle; the row need not exist.
    QRect cellRect(int column, int row) const;
    QRect headerRect(int column) const;
    int rowTop(int row) const { return headerHeight_ + row * rowPitch() - scrollY_; }

    GridHit hitTest(QPoint viewportPoint) const;

    // The column whose right edge lies within `tolerance` pixels of a point
    // on the header band, where a drag resizes the column; -1 for none.
    int resizeEdgeAt(QPoint viewportPoint, int tolerance = 3) const;

    // The rows that meet a viewport of the given height, as a half-open range
    // [first, last); empty when there are no rows.
    std::pair<int, int> visibleRows(int viewportHeight) const;

    // The vertical scroll offset that brings `row` and the grid line under it
    // fully into a viewport of the given height, moving as little as possible.
    int scrollYToShow(int row, int viewportHeight) const;

private:
    std::vector<int> left_;
    std::vector<int> width_;
    int rowCount_;
    int rowHeight_;
    int headerHeight_;
    int lineWidth_;
    int contentWidth_ = 0;
    int scrollX_ = 0;
    int scrollY_ = 0;
};

} // namespace quillmere
