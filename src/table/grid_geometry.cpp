#include "table/grid_geometry.h"

#include <algorithm>
#include <cstdlib>

#include <algorithm>

namespace quillmere {

int alignedOffset(TAlignment alignment, int outer, int inner, int margin)
{
    switch (alignment) {
    case TAlignment::Left:
        return margin;
    case TAlignment::Right:
        return outer - inner - margin;
    case TAlignment::Center:
        return outer / 2 - inner / 2;
    }
    return margin;
}

QPoint imageTopLeft(const QRect &cell, QSize imageSize, TAlignment alignment)
{
    return { cell.left() + alignedOffset(alignment, cell.width(), imageSize.width()),
             cell.top() + alignedOffset(TAlignment::Center, cell.height(), imageSize.height()) };
}

QRect checkBoxRect(const QRect &cell, TAlignment alignment)
{
    return { imageTopLeft(cell, QSize(kCheckBoxSide, kCheckBoxSide), alignment), QSize(kCheckBoxSide, kCheckBoxSide) };
}

GridGeometry::GridGeometry(const std::vector<ColumnSpec> &columns, int rowCount, int rowHeight, int headerHeight,
                           bool gridLines)
    : rowCount_(std::max(0, rowCount))
    , rowHeight_(std::max(1, rowHeight))
    , headerHeight_(std::max(0, headerHeight))
    , lineWidth_(gridLines ? 1 : 0)
{
    left_.reserve(columns.size());
    width_.reserve(columns.size());
    int x = 0;
    for (const ColumnSpec &column : columns) {
        const int width = column.visible ? std::max(0, column.width) : -1;
        left_.push_back(x);
        width_.push_back(width);
        if (width >= 0) {
            x += width + lineWidth_;
        }
    }
    contentWidth_ = x;
}

GridGeometry GridGeometry::of(const TDataGrid &grid, int headerHeight, int stretchColumn, int extraWidth)
{
    std::vector<ColumnSpec> columns;
    columns.reserve(static_cast<std::size_t>(grid.ColumnCount()));
    for (int c = 0; c < grid.ColumnCount(); ++c) {
        const TGridCustomColumn &column = grid.Column(c);
        columns.push_back({ column.Width + (c == stretchColumn ? std::max(0, extraWidth) : 0), column.Visible });
    }
    const bool header = (grid.Options() & goHeader) != 0;
    return GridGeometry(columns, grid.RowCount(), grid.RowSize(), header ? headerHeight : 0,
                        (grid.Options() & goGrid) != 0);
}

GridGeometry GridGeometry::rowsOf(const TDataGrid &grid)
{
    return GridGeometry({}, grid.RowCount(), grid.RowSize(), 0, (grid.Options() & goGrid) != 0);
}

int GridGeometry::resizeEdgeAt(QPoint point, int tolerance) const
{
    if (point.y() < 0 || point.y() >= headerHeight_) {
        return -1;
    }
    int found = -1;
    for (int column = 0; column < columnCount(); ++column) {
        if (!columnShown(column)) {
            continue;
        }
        // The edge is the grid line after the column.
        const int edge = headerRect(column).right() + 1;
        if (std::abs(point.x() - edge) <= tolerance) {
            found = column; // the last one wins: a zero-width column sits under its neighbour
        }
    }
    return found;
}

bool GridGeometry::columnShown(int column) const
{
    return column >= 0 && column < columnCount() && width_[static_cast<std::size_t>(column)] >= 0;
}

QRect GridGeometry::cellRect(int column, int row) const
{
    if (!columnShown(column)) {
        return {};
    }
    const auto c = static_cast<std::size_t>(column);
    return { left_[c] - scrollX_, rowTop(row), width_[c], rowHeight_ };
}

QRect GridGeometry::headerRect(int column) const
{
    if (!columnShown(column) || headerHeight_ == 0) {
        return {};
    }
    const auto c = static_cast<std::size_t>(column);
    return { left_[c] - scrollX_, 0, width_[c], headerHeight_ };
}

GridHit GridGeometry::hitTest(QPoint point) const
{
    const int x = point.x() + scrollX_;
    if (point.x() < 0 || point.y() < 0 || x >= contentWidth_) {
        return {};
    }
    // The column whose cell or grid line holds x; a point on a grid line
    // belongs to the cell before it.
    int column = -1;
    for (int c = 0; c < columnCount(); ++c) {
        const auto i = static_cast<std::size_t>(c);
        if (width_[i] >= 0 && x >= left_[i] && x < left_[i] + width_[i] + lineWidth_) {
            column = c;
            break;
        }
    }
    if (column < 0) {
        return {};
    }
    if (point.y() < headerHeight_) {
        return { GridHit::Header, column, -1 };
    }
    const int y = point.y() - headerHeight_ + scrollY_;
    const int row = y / rowPitch();
    if (row >= rowCount_) {
        return {};
    }
    return { GridHit::Cell, column, row };
}

std::pair<int, int> GridGeometry::visibleRows(int viewportHeight) const
{
    const int rowsHeight = viewportHeight - headerHeight_;
    if (rowCount_ == 0 || rowsHeight <= 0) {
        return { 0, 0 };
    }
    const int first = std::clamp(scrollY_ / rowPitch(), 0, rowCount_);
    const int last = std::clamp((scrollY_ + rowsHeight - 1) / rowPitch() + 1, first, rowCount_);
    return { first, last };
}

int GridGeometry::scrollYToShow(int row, int viewportHeight) const
{
    const int rowsHeight = std::max(0, viewportHeight - headerHeight_);
    const int top = row * rowPitch();
    // The grid line under the row comes into view with it.
    const int bottom = top + rowPitch();
    if (top < scrollY_) {
        return top;
    }
    if (bottom > scrollY_ + rowsHeight) {
        // A row taller than the viewport shows its top.
        return rowsHeight < rowPitch() ? top : bottom - rowsHeight;
    }
    return scrollY_;
}

} // namespace quillmere
