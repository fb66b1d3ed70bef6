#pragma once

#include "table/data_grid.h"
#include "table/grid_geometry.h"

#include <QAbstractScrollArea>
#include <QPointer>
#include <functional>

class QMenu;

namespace quillmere {

// The visible table: draws a TDataGrid (header, rows, grid lines, the selected
// row, check boxes, thumbnails) and turns mouse and keyboard input into
// selections, cell notifications, check-box toggles and header clicks.
//
// The view keeps no copy of the table: it reads the model whenever it paints or
// handles input, so the model may change at any time between two events (a
// running search appends rows while the user clicks). It repaints through
// update() whenever the model or an image list reports a change.
//
// The model must outlive every use of the view; the view hooks the model's
// onChanged (keeping any handler that was there before) and the change
// callbacks of the columns' image lists, and those hooks go quiet once the
// view is gone.
class TDataGridView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit TDataGridView(TDataGrid &grid, QWidget *parent = nullptr);
    ~TDataGridView() override;

    TDataGrid &grid() const { return grid_; }

    // Raised with the column and row index of the cell concerned. OnCellClick:
    // the left button went up over the cell it went down on; for a check-box
    // cell the box is handled after the handler returns. OnCellDblClick: the
    // second press of a left double click. Handlers may change the table or
    // run a modal window.
    using CellHandler = std::function<void(int ACol, int ARow)>;
    CellHandler OnCellClick;
    CellHandler OnCellDblClick;

    // The menu shown by the right button (after the press has selected the row
    // under the pointer) or the keyboard's menu key. Not owned; may be null.
    void setPopupMenu(QMenu *menu);
    QMenu *popupMenu() const;

    // Rows whose check boxes are locked (by index in the current order): the
    // box shows a lock instead, and neither a click nor the space bar
    // toggles it. Empty: none is.
    std::function<bool(int row)> rowLocked;

    // The column holding each row's set number (1, 2, 3, ...); rows of even
    // sets get a tinted background. The column named "Group" by default, -1
    // for none.
    void setGroupColumn(int column);
    int groupColumn() const { return groupColumn_; }

    // The layout as currently scrolled, in viewport coordinates.
    GridGeometry layout() const;
    int headerHeight() const;

    // Scrolls vertically as little as needed to show the whole row.
    void scrollToRow(int row);

    QSize sizeHint() const override;

    // The full text of a text cell that is cut short on screen, for its
    // tool tip; empty when the cell shows all of it.
    QString hiddenTextAt(QPoint viewportPoint) const;

    // The column that takes the width the view gains beyond the width it was
    // first shown at ("Dest" by default, -1 for none): columns keep their
    // widths at start and the widest text gets the room a larger window gives.
    void setStretchColumn(int column);
    int stretchColumn() const { return stretchColumn_; }
    int stretchExtra() const { return stretchExtra_; }

    // The width that shows the whole header and every text of a column, for a
    // double click on its header edge; its width as it is for a picture or
    // check-box column.
    int fittingWidth(int column) const;

protected:
    bool viewportEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct Press {
        Qt::MouseButton button = Qt::NoButton;
        GridHit hit;
    };

    void modelChanged();
    void hookImageLists();
    // The thumbnail entries that rows first to last - 1 show in an image column.
    std::vector<int> shownEntries(int column, int first, int last) const;
    // Entry index was added to list: repaints the cells in view showing it.
    void imageAdded(const TImageList &list, int index);
    void updateScrollBars();
    GridHit hitAt(QPoint viewportPoint) const;
    // A press (or the second press of a double click): selects a cell or
    // arms a header click. Returns what was hit.
    GridHit press(QMouseEvent *event);
    bool isCheckBoxColumn(int column) const;
    int firstCheckBoxColumn() const; // -1 when the table has none
    void toggleFlag(int column, int row);
    bool rowTinted(int row) const;
    void paintRows(QPainter &painter, const GridGeometry &geometry, const QRect &clip);
    void paintCell(QPainter &painter, int column, int row, const QRect &rect, bool highlighted);
    void paintHeader(QPainter &painter, const GridGeometry &geometry, const QRect &clip);
    // Has the image lists expand the pictures of a page of rows above and
    // below the visible ones, so that scrolling to them paints at once.
    void prepareNearbyRows();
    void paintLock(QPainter &painter, const QRect &box) const;

    TDataGrid &grid_;
    QPointer<QMenu> popupMenu_;
    int groupColumn_ = -1;
    Press press_;
    int scrolledRows_ = -1; // the row count the scroll ranges were set for
    int stretchColumn_ = -1;
    int stretchExtra_ = 0;
    int firstShownWidth_ = -1;
    // A drag of a header edge: the column, where it started and its width then.
    struct ColumnDrag {
        int column = -1;
        int startX = 0;
        int startWidth = 0;
    };
    ColumnDrag drag_;
    void updateStretch();
    bool nearbyRowsAsked_ = false;
};

} // namespace quillmere
