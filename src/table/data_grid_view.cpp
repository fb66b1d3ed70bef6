#include "table/data_grid_view.h"

#include "common/error_report.h"
#include "imaging/image_list.h"
#include "platform/number_text.h"
#include "platform/path_text.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <utility>
#include <cmath>
#include <set>

namespace quillmere {

namespace {

Qt::Alignment horizontalFlag(TAlignment alignment)
{
    switch (alignment) {
    case TAlignment::Left:
        return Qt::AlignLeft;
    case TAlignment::Right:
        return Qt::AlignRight;
    case TAlignment::Center:
        return Qt::AlignHCenter;
    }
    return Qt::AlignLeft;
}

// Any cell value read as a number; texts that are no number give NaN.
double numberOf(const CellValue &value)
{
    if (const auto *d = std::get_if<double>(&value)) {
        return *d;
    }
    if (const auto *i = std::get_if<qint32>(&value)) {
        return *i;
    }
    if (const auto *b = std::get_if<bool>(&value)) {
        return *b ? 1.0 : 0.0;
    }
    if (const auto *s = std::get_if<QString>(&value)) {
        bool ok = false;
        const double d = s->toDouble(&ok);
        return ok ? d : std::nan("");
    }
    return std::nan("");
}

// A text cell is drawn on one line as people read it: a file name's bytes
// that are not UTF-8 and its control characters show escaped, and what is
// left of line and paragraph separators becomes a space, so it is measured as
// it is drawn.
QString oneLine(const QString &cellText)
{
    QString text = ShownPathText(cellText);
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n' || u == u'\r' || u == u'\v' || u == u'\f' || u == 0x2028 || u == 0x2029) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

QColor blend(const QColor &a, const QColor &b, double share)
{
    return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - share) + b.redF() * share),
                            static_cast<float>(a.greenF() * (1 - share) + b.greenF() * share),
                            static_cast<float>(a.blueF() * (1 - share) + b.blueF() * share));
}

} // namespace

TDataGridView::TDataGridView(TDataGrid &grid, QWidget *parent)
    : QAbstractScrollArea(parent)
    , grid_(grid)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    if (const TGridCustomColumn *group = grid_.FindColumn(QStringLiteral("Group"))) {
        groupColumn_ = group->Index();
    }
    if (const TGridCustomColumn *dest = grid_.FindColumn(QStringLiteral("Dest"))) {
        stretchColumn_ = dest->Index();
    }
    viewport()->setMouseTracking(true);
    // paintEvent fills every pixel it is asked for: Qt need not fill the
    // background first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

    // Chain onto whatever listened before, and go quiet once this view is
    // gone: the model may outlive its view.
    auto previous = std::move(grid_.onChanged);
    grid_.onChanged = [view = QPointer<TDataGridView>(this), previous = std::move(previous)] {
        if (previous) {
            previous();
        }
        if (view) {
            view->modelChanged();
        }
    };
    hookImageLists();
    updateScrollBars();
}

TDataGridView::~TDataGridView() = default;

void TDataGridView::hookImageLists()
{
    std::set<TImageList *> lists;
    for (int c = 0; c < grid_.ColumnCount(); ++c) {
        if (grid_.Column(c).Images != nullptr) {
            lists.insert(grid_.Column(c).Images);
        }
    }
    for (TImageList *list : lists) {
        auto previous = std::move(list->OnChange);
        list->OnChange = [view = QPointer<TDataGridView>(this), list, previous = std::move(previous),
                          count = list->Count()]() mutable {
            if (previous) {
                previous();
            }
            const int before = std::exchange(count, list->Count());
            if (!view) {
                return;
            }
            // A search adds an entry a row: only rows in view that already
            // name the new entry show something new.
            if (count == before + 1) {
                view->imageAdded(*list, count - 1);
            } else {
                view->viewport()->update();
            }
        };
    }
}

void TDataGridView::imageAdded(const TImageList &list, int index)
{
    if (grid_.compact()) {
        viewport()->update();
        return;
    }
    const GridGeometry geometry = layout();
    const auto [first, last] = geometry.visibleRows(viewport()->height());
    for (int c = 0; c < grid_.ColumnCount(); ++c) {
        if (grid_.Column(c).Images != &list || grid_.Column(c).kind() != CellKind::Integer) {
            continue;
        }
        for (int row = first; row < last; ++row) {
            const auto *shown = std::get_if<qint32>(&grid_.peek(c, row));
            if (shown != nullptr && *shown == index) {
                viewport()->update(geometry.cellRect(c, row));
            }
        }
    }
}

void TDataGridView::setPopupMenu(QMenu *menu)
{
    popupMenu_ = menu;
}

QMenu *TDataGridView::popupMenu() const
{
    return popupMenu_;
}

void TDataGridView::setGroupColumn(int column)
{
    groupColumn_ = column >= 0 && column < grid_.ColumnCount() ? column : -1;
    viewport()->update();
}

int TDataGridView::headerHeight() const
{
    return fontMetrics().height() + 8;
}

GridGeometry TDataGridView::layout() const
{
    GridGeometry geometry = GridGeometry::of(grid_, headerHeight(), stretchColumn_, stretchExtra_);
    geometry.setScroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
    return geometry;
}

QSize TDataGridView::sizeHint() const
{
    const GridGeometry geometry = layout();
    const int frame = 2 * frameWidth();
    return { geometry.contentWidth() + frame + verticalScrollBar()->sizeHint().width(),
             geometry.headerHeight() + 4 * geometry.rowPitch() + frame };
}

void TDataGridView::modelChanged()
{
    // The model may change thousands of times during a search; update()
    // coalesces them into one paint, and only a change of the row count
    // touches the scroll bars.
    if (grid_.RowCount() != scrolledRows_) {
        updateScrollBars();
    }
    const TDataGrid::Change &change = grid_.lastChange();
    if (change.whole) {
        viewport()->update();
        return;
    }
    // Only rows in view are painted again, with a row to either side for
    // what a row draws from its neighbours (where a group begins); rows
    // added below the view paint nothing. Those are told from the rows
    // alone, before the columns are laid out: a search writes every cell.
    GridGeometry rows = GridGeometry::rowsOf(grid_);
    rows.setScroll(0, verticalScrollBar()->value());
    const auto [nearFirst, nearLast] = rows.visibleRows(viewport()->height());
    if (change.firstRow - 1 >= nearLast || change.lastRow + 1 < nearFirst) {
        return;
    }
    const GridGeometry geometry = layout();
    const auto [first, last] = geometry.visibleRows(viewport()->height());
    const int from = std::max(first, change.firstRow - 1);
    const int to = std::min(last - 1, change.lastRow + 1);
    if (from <= to) {
        viewport()->update(QRect(0, geometry.rowTop(from), viewport()->width(), (to - from + 1) * geometry.rowPitch()));
    }
}

void TDataGridView::updateScrollBars()
{
    const GridGeometry geometry = GridGeometry::of(grid_, headerHeight(), stretchColumn_, stretchExtra_);
    scrolledRows_ = geometry.rowCount();
    const QSize area = viewport()->size();
    const int rowsHeight = std::max(0, area.height() - geometry.headerHeight());

    QScrollBar *vertical = verticalScrollBar();
    vertical->setRange(0, std::max(0, geometry.contentHeight() - rowsHeight));
    vertical->setPageStep(std::max(1, rowsHeight));
    // One wheel notch (three steps) moves about one row.
    vertical->setSingleStep(std::max(1, geometry.rowPitch() / 3));

    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, geometry.contentWidth() - area.width()));
    horizontal->setPageStep(std::max(1, area.width()));
    horizontal->setSingleStep(20);
}

void TDataGridView::scrollToRow(int row)
{
    if (row < 0 || row >= grid_.RowCount()) {
        return;
    }
    updateScrollBars();
    verticalScrollBar()->setValue(layout().scrollYToShow(row, viewport()->height()));
}

void TDataGridView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateStretch();
    updateScrollBars();
}

void TDataGridView::showEvent(QShowEvent *event)
{
    QAbstractScrollArea::showEvent(event);
    if (firstShownWidth_ < 0) {
        firstShownWidth_ = viewport()->width();
    }
    updateStretch();
    updateScrollBars();
}

void TDataGridView::setStretchColumn(int column)
{
    stretchColumn_ = column >= 0 && column < grid_.ColumnCount() ? column : -1;
    updateStretch();
    updateScrollBars();
    viewport()->update();
}

void TDataGridView::updateStretch()
{
    stretchExtra_ = firstShownWidth_ < 0 ? 0 : std::max(0, viewport()->width() - firstShownWidth_);
}

int TDataGridView::fittingWidth(int column) const
{
    if (column < 0 || column >= grid_.ColumnCount()) {
        return 0;
    }
    const TGridCustomColumn &info = grid_.Column(column);
    if (info.kind() != CellKind::String && info.kind() != CellKind::Float && info.kind() != CellKind::Increment) {
        return info.Width;
    }
    const QFontMetrics metrics = fontMetrics();
    // Room for the margins and the sort indicator beside the caption.
    int width = metrics.horizontalAdvance(info.Header) + 2 * style()->pixelMetric(QStyle::PM_HeaderMargin)
        + style()->pixelMetric(QStyle::PM_HeaderMarkSize) + 4;
    for (int row = 0; row < grid_.RowCount(); ++row) {
        QString text;
        const CellValue &value = grid_.peek(column, row);
        if (info.kind() == CellKind::Increment) {
            text = QString::number(row + 1);
        } else if (const auto *string = std::get_if<QString>(&value)) {
            text = oneLine(*string);
        } else if (const auto *number = std::get_if<double>(&value)) {
            text = info.numberText(*number);
        }
        width = std::max(width, metrics.horizontalAdvance(text) + 2 * kCellMargin + 2);
    }
    return width;
}

void TDataGridView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        updateScrollBars();
        viewport()->update();
    }
}

// ---- Input -----------------------------------------------------------------

QString TDataGridView::hiddenTextAt(QPoint point) const
{
    const GridHit hit = hitAt(point);
    if (hit.kind != GridHit::Cell || hit.row >= grid_.RowCount()) {
        return {};
    }
    const TGridCustomColumn &columnInfo = grid_.Column(hit.column);
    if (columnInfo.kind() != CellKind::String || (columnInfo.Options & coShowTextFitHint) == 0) {
        return {};
    }
    const auto *text = std::get_if<QString>(&grid_.peek(hit.column, hit.row));
    if (text == nullptr) {
        return {};
    }
    const int room = layout().cellRect(hit.column, hit.row).width() - 2 * kCellMargin;
    const QString shown = oneLine(*text);
    return fontMetrics().horizontalAdvance(shown) > room ? shown : QString();
}

bool TDataGridView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        runReportingErrors([&] {
            const auto *help = static_cast<QHelpEvent *>(event);
            const QString text = hiddenTextAt(help->pos());
            if (text.isEmpty()) {
                QToolTip::hideText();
            } else {
                QToolTip::showText(help->globalPos(), text, viewport());
            }
        });
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

GridHit TDataGridView::hitAt(QPoint point) const
{
    if (!viewport()->rect().contains(point)) {
        return {};
    }
    return layout().hitTest(point);
}

bool TDataGridView::isCheckBoxColumn(int column) const
{
    if (column < 0 || column >= grid_.ColumnCount()) {
        return false;
    }
    const TGridCustomColumn &c = grid_.Column(column);
    return c.kind() == CellKind::Boolean && (c.Options & coEditing) != 0;
}

int TDataGridView::firstCheckBoxColumn() const
{
    for (int column = 0; column < grid_.ColumnCount(); ++column) {
        if (isCheckBoxColumn(column)) {
            return column;
        }
    }
    return -1;
}

void TDataGridView::toggleFlag(int column, int row)
{
    if (rowLocked && rowLocked(row)) {
        return;
    }
    const TGridCell cell = grid_.CellAt(column, row);
    cell.setBoolean(!cell.asBoolean());
}

GridHit TDataGridView::press(QMouseEvent *event)
{
    press_ = {};
    const Qt::MouseButton button = event->button();
    if (button != Qt::LeftButton && button != Qt::RightButton) {
        return {};
    }
    const QPoint point = event->position().toPoint();
    if (button == Qt::LeftButton) {
        const int edge = layout().resizeEdgeAt(point);
        if (edge >= 0) {
            drag_ = {edge, point.x(), grid_.Column(edge).Width};
            return {};
        }
    }
    const GridHit hit = hitAt(point);
    if (hit.kind == GridHit::Cell) {
        press_ = { button, hit };
        grid_.SelectCell(hit.column, hit.row);
    } else if (hit.kind == GridHit::Header && button == Qt::LeftButton
               && (grid_.Column(hit.column).Options & coCanClick) != 0) {
        press_ = { button, hit };
    }
    return hit;
}

void TDataGridView::mousePressEvent(QMouseEvent *event)
{
    runReportingErrors([&] {
        press(event);
        event->accept();
    });
}

void TDataGridView::mouseMoveEvent(QMouseEvent *event)
{
    runReportingErrors([&] {
        event->accept();
        const QPoint point = event->position().toPoint();
        if (drag_.column >= 0) {
            grid_.Column(drag_.column).Width = std::max(8, drag_.startWidth + point.x() - drag_.startX);
            updateScrollBars();
            viewport()->update();
            return;
        }
        viewport()->setCursor(layout().resizeEdgeAt(point) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
    });
}

void TDataGridView::mouseDoubleClickEvent(QMouseEvent *event)
{
    runReportingErrors([&] {
        if (event->button() == Qt::LeftButton) {
            const int edge = layout().resizeEdgeAt(event->position().toPoint());
            if (edge >= 0) {
                event->accept();
                drag_ = {};
                const int extra = edge == stretchColumn_ ? stretchExtra_ : 0;
                grid_.Column(edge).Width = std::max(8, fittingWidth(edge) - extra);
                updateScrollBars();
                viewport()->update();
                return;
            }
        }
        // The second press of a double click is a press like any other; the
        // release that follows is handled as usual.
        const GridHit hit = press(event);
        event->accept();
        if (event->button() == Qt::LeftButton && hit.kind == GridHit::Cell && OnCellDblClick) {
            const CellHandler handler = OnCellDblClick; // the handler may replace itself
            handler(hit.column, hit.row);
        }
    });
}

void TDataGridView::mouseReleaseEvent(QMouseEvent *event)
{
    runReportingErrors([&] {
        event->accept();
        if (drag_.column >= 0 && event->button() == Qt::LeftButton) {
            drag_ = {};
            return;
        }
        const Press pressed = press_;
        if (event->button() != pressed.button) {
            return;
        }
        press_ = {};
        if (pressed.button != Qt::LeftButton) {
            return;
        }
        const QPoint point = event->position().toPoint();
        const GridHit hit = hitAt(point);
        if (hit != pressed.hit) {
            return;
        }
        if (hit.kind == GridHit::Header) {
            grid_.HeaderClick(hit.column);
            return;
        }
        if (hit.kind != GridHit::Cell || hit.row >= grid_.RowCount()) {
            return;
        }

        const TGridCustomColumn &column = grid_.Column(hit.column);
        const bool onCheckBox = isCheckBoxColumn(hit.column)
            && checkBoxRect(layout().cellRect(hit.column, hit.row), column.Alignment).contains(point);
        // The click handler may sort, remove rows or run a modal window; the row's
        // cell storage identifies the row afterwards wherever it has moved.
        const CellValue *clickedCell = &grid_.peek(hit.column, hit.row);

        const QPointer<TDataGridView> self(this);
        if (OnCellClick) {
            const CellHandler handler = OnCellClick;
            handler(hit.column, hit.row);
        }
        if (!self || !onCheckBox) {
            return;
        }
        int row = -1;
        if (hit.row < grid_.RowCount() && &grid_.peek(hit.column, hit.row) == clickedCell) {
            row = hit.row;
        } else {
            for (int r = 0; r < grid_.RowCount(); ++r) {
                if (&grid_.peek(hit.column, r) == clickedCell) {
                    row = r;
                    break;
                }
            }
        }
        if (row >= 0) {
            toggleFlag(hit.column, row);
        }
    });
}

void TDataGridView::keyPressEvent(QKeyEvent *event)
{
    runReportingErrors([&] {
        const int rows = grid_.RowCount();
        const int selected = grid_.SelectedRowIndex();
        const int column = grid_.SelectedColumnIndex();
        const GridGeometry geometry = layout();
        const int perPage = std::max(1, (viewport()->height() - geometry.headerHeight()) / geometry.rowPitch());

        int target = -1;
        switch (event->key()) {
        case Qt::Key_Space:
            if (selected >= 0 && selected < rows && isCheckBoxColumn(column)) {
                toggleFlag(column, selected);
            }
            event->accept();
            return;
        case Qt::Key_Left:
        case Qt::Key_Right:
            // Along the row to the neighbouring shown column, so that the
            // check box can be reached and marked with the space bar.
            if (selected >= 0 && selected < rows) {
                const int step = event->key() == Qt::Key_Left ? -1 : 1;
                int next = column + step;
                while (next >= 0 && next < grid_.ColumnCount() && !grid_.Column(next).Visible) {
                    next += step;
                }
                if (next >= 0 && next < grid_.ColumnCount()) {
                    grid_.SelectCell(next, selected);
                    viewport()->update();
                }
            }
            event->accept();
            return;
        case Qt::Key_Menu:
        case Qt::Key_F10:
            if (event->key() == Qt::Key_Menu || event->modifiers() == Qt::ShiftModifier) {
                // The row's menu from the keyboard, over the selected row.
                QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(), QCursor::pos(), event->modifiers());
                contextMenuEvent(&menu);
                event->accept();
            } else {
                QAbstractScrollArea::keyPressEvent(event);
            }
            return;
        case Qt::Key_Up:
            target = selected - 1;
            break;
        case Qt::Key_Down:
            target = selected + 1;
            break;
        case Qt::Key_PageUp:
            target = selected - perPage;
            break;
        case Qt::Key_PageDown:
            target = selected + perPage;
            break;
        case Qt::Key_Home:
            target = 0;
            break;
        case Qt::Key_End:
            target = rows - 1;
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
        }
        event->accept();
        if (rows == 0) {
            return;
        }
        target = selected < 0 ? 0 : std::clamp(target, 0, rows - 1);
        // The first row chosen from the keyboard is chosen on its check box,
        // ready for the space bar.
        const int checkBox = firstCheckBoxColumn();
        grid_.SelectCell(selected < 0 && checkBox >= 0 ? checkBox : column, target);
        scrollToRow(target);
    });
}

void TDataGridView::contextMenuEvent(QContextMenuEvent *event)
{
    runReportingErrors([&] {
        event->accept();
        if (!popupMenu_) {
            return;
        }
        QPoint at = event->globalPos();
        if (event->reason() == QContextMenuEvent::Mouse) {
            // The press has normally selected the row already; a menu that comes
            // without one still acts on the row under the pointer.
            const GridHit hit = hitAt(event->pos());
            if (hit.kind == GridHit::Cell
                && (hit.row != grid_.SelectedRowIndex() || hit.column != grid_.SelectedColumnIndex())) {
                grid_.SelectCell(hit.column, hit.row);
            }
        } else {
            // From the keyboard the menu acts on the row selected before; it opens
            // over that row when it is in view.
            const int row = grid_.SelectedRowIndex();
            const QRect rect = layout().cellRect(grid_.SelectedColumnIndex(), row);
            const QPoint local = row >= 0 && viewport()->rect().contains(rect.center()) ? rect.center()
                                                                                       : viewport()->rect().center();
            at = viewport()->mapToGlobal(local);
        }
        popupMenu_->popup(at);
    });
}

// ---- Painting --------------------------------------------------------------

bool TDataGridView::rowTinted(int row) const
{
    if (groupColumn_ < 0 || groupColumn_ >= grid_.ColumnCount()) {
        return false;
    }
    const double set = numberOf(grid_.peek(groupColumn_, row));
    // Sets are numbered from 1; 0 means the row has no set yet.
    if (!(set >= 1 && set < 1e15)) {
        return false;
    }
    return static_cast<long long>(set) % 2 == 0;
}

void TDataGridView::paintEvent(QPaintEvent *event)
{
    paintReportingErrors([&] {
        QPainter painter(viewport());
        const GridGeometry geometry = layout();
        const QRect clip = event->rect();
        painter.fillRect(clip, palette().base());
        paintRows(painter, geometry, clip);
        paintHeader(painter, geometry, clip);
    });
    // Once the pending events have run: scrolling on from here finds its
    // pictures expanded.
    if (!nearbyRowsAsked_) {
        nearbyRowsAsked_ = true;
        QTimer::singleShot(0, this, [this] {
            nearbyRowsAsked_ = false;
            prepareNearbyRows();
        });
    }
}

void TDataGridView::prepareNearbyRows()
{
    if (!grid_.compact() && isVisible()) {
        // The visible rows are first to last - 1.
        const auto [first, last] = layout().visibleRows(viewport()->height());
        if (first >= last) {
            return;
        }
        const int page = last - first;
        const int rows = grid_.RowCount();
        for (int c = 0; c < grid_.ColumnCount(); ++c) {
            const TImageList *images = grid_.Column(c).Images;
            if (images == nullptr || grid_.Column(c).kind() != CellKind::Integer || !grid_.Column(c).Visible) {
                continue;
            }
            images->Prepare(shownEntries(c, std::max(0, first - page), std::min(rows, last + page)));
        }
    }
}

std::vector<int> TDataGridView::shownEntries(int column, int first, int last) const
{
    std::vector<int> entries;
    for (int row = first; row < last; ++row) {
        if (const auto *index = std::get_if<qint32>(&grid_.peek(column, row))) {
            entries.push_back(*index);
        }
    }
    return entries;
}

void TDataGridView::paintRows(QPainter &painter, const GridGeometry &geometry, const QRect &clip)
{
    const QRect rowsArea(0, geometry.headerHeight(), viewport()->width(),
                         std::max(0, viewport()->height() - geometry.headerHeight()));
    const QRect area = rowsArea.intersected(clip);
    if (area.isEmpty()) {
        return;
    }
    painter.save();
    painter.setClipRect(area);

    const TGridOptions options = grid_.Options();
    const bool fullRow = (options & goSelectFullRow) != 0;
    const int selectedRow = grid_.SelectedRowIndex();
    const int selectedColumn = grid_.SelectedColumnIndex();
    const QColor lineColour = blend(palette().color(QPalette::Base), palette().color(QPalette::Text), 0.25);
    const int rightEdge = geometry.contentWidth() - geometry.scrollX();

    const auto [first, last] = geometry.visibleRows(viewport()->height());
    // The thumbnails of a page scrolled to from afar are expanded together.
    if (!grid_.compact()) {
        for (int c = 0; c < grid_.ColumnCount(); ++c) {
            if (const TImageList *images = grid_.Column(c).Images;
                images != nullptr && grid_.Column(c).kind() == CellKind::Integer && grid_.Column(c).Visible) {
                images->Prepare(shownEntries(c, first, last));
            }
        }
    }
    for (int row = first; row < last; ++row) {
        const int top = geometry.rowTop(row);
        if (top + geometry.rowPitch() <= area.top() || top > area.bottom()) {
            continue;
        }
        for (int column = 0; column < grid_.ColumnCount(); ++column) {
            const QRect cell = geometry.cellRect(column, row);
            if (cell.isNull() || cell.right() + 1 < area.left() || cell.left() > area.right()) {
                continue;
            }
            const bool selected = row == selectedRow && (fullRow || column == selectedColumn);
            const bool highlighted = selected && (grid_.Column(column).Options & coDontHighlight) == 0;
            paintCell(painter, column, row, cell, highlighted);
            if (geometry.lineWidth() > 0) {
                painter.fillRect(QRect(cell.right() + 1, cell.top(), 1, geometry.rowPitch()), lineColour);
            }
        }
        if (geometry.lineWidth() > 0) {
            painter.fillRect(QRect(-geometry.scrollX(), top + geometry.rowPitch() - 1,
                                   rightEdge + geometry.scrollX(), 1),
                             lineColour);
        }
    }
    painter.restore();
}

void TDataGridView::paintCell(QPainter &painter, int column, int row, const QRect &rect, bool highlighted)
{
    const TGridCustomColumn &columnInfo = grid_.Column(column);
    const QPalette &colours = palette();
    QColor background = colours.color(QPalette::Base);
    if (highlighted) {
        background = colours.color(QPalette::Highlight);
    } else if (rowTinted(row)) {
        background = blend(background, colours.color(QPalette::Highlight), 0.12);
    }
    painter.fillRect(rect, background);

    const CellValue &value = grid_.peek(column, row);
    QString text;
    switch (columnInfo.kind()) {
    case CellKind::String:
        if (const auto *s = std::get_if<QString>(&value)) {
            text = *s;
        }
        break;
    case CellKind::Increment:
        // Row numbers count from the top whatever the order of the rows.
        text = QString::number(row + 1);
        break;
    case CellKind::Float:
        if (const auto *d = std::get_if<double>(&value)) {
            text = columnInfo.numberText(*d);
        }
        break;
    case CellKind::Integer: {
        const auto *index = std::get_if<qint32>(&value);
        TImageList *images = columnInfo.Images;
        if (index == nullptr || images == nullptr || *index < 0 || *index >= images->Count()) {
            return;
        }
        const QSize size(images->Width(), images->Height());
        painter.save();
        painter.setClipRect(rect, Qt::IntersectClip);
        images->Draw(painter, imageTopLeft(rect, size, columnInfo.Alignment), *index);
        painter.restore();
        return;
    }
    case CellKind::Boolean: {
        if (rowLocked && (columnInfo.Options & coEditing) != 0 && rowLocked(row)) {
            paintLock(painter, checkBoxRect(rect, columnInfo.Alignment));
            return;
        }
        const auto *flag = std::get_if<bool>(&value);
        QStyleOptionButton option;
        option.initFrom(this);
        option.rect = checkBoxRect(rect, columnInfo.Alignment);
        option.state = QStyle::State_Enabled | ((flag != nullptr && *flag) ? QStyle::State_On : QStyle::State_Off);
        style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, this);
        return;
    }
    }
    if (text.isEmpty()) {
        return;
    }
    const QRect textRect = rect.adjusted(kCellMargin, 0, -kCellMargin, 0);
    const QString shown = fontMetrics().elidedText(oneLine(text), Qt::ElideRight, textRect.width());
    painter.setPen(colours.color(highlighted ? QPalette::HighlightedText : QPalette::Text));
    // No mnemonic flag: every character, "&" included, is drawn as it is.
    painter.drawText(textRect, horizontalFlag(columnInfo.Alignment) | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

void TDataGridView::paintLock(QPainter &painter, const QRect &box) const
{
    // A padlock in the check box's place: a body and, above it, a shackle.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink = palette().color(QPalette::Text);
    const int width = std::max(8, box.width() - 2);
    const QRectF body(box.center().x() - width / 2.0 + 0.5, box.top() + box.height() * 0.45, width, box.height() * 0.55);
    QPen pen(ink, 1.6);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const QRectF shackle(body.left() + width * 0.2, box.top(), width * 0.6, box.height() * 0.8);
    painter.drawArc(shackle, 0, 180 * 16);
    painter.drawLine(QPointF(shackle.left(), shackle.center().y()), QPointF(shackle.left(), body.top()));
    painter.drawLine(QPointF(shackle.right(), shackle.center().y()), QPointF(shackle.right(), body.top()));
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawRoundedRect(body, 1.5, 1.5);
    painter.restore();
}

void TDataGridView::paintHeader(QPainter &painter, const GridGeometry &geometry, const QRect &clip)
{
    if (geometry.headerHeight() == 0 || clip.top() >= geometry.headerHeight()) {
        return;
    }
    int end = -geometry.scrollX();
    for (int column = 0; column < grid_.ColumnCount(); ++column) {
        QRect rect = geometry.headerRect(column);
        if (rect.isNull()) {
            continue;
        }
        // The section covers the grid line after the column, as the cells' do.
        rect.setWidth(rect.width() + geometry.lineWidth());
        end = rect.right() + 1;
        if (rect.right() < clip.left() || rect.left() > clip.right()) {
            continue;
        }
        const TGridCustomColumn &columnInfo = grid_.Column(column);
        QStyleOptionHeader option;
        option.initFrom(this);
        option.rect = rect;
        option.section = column;
        option.textAlignment = horizontalFlag(columnInfo.HeaderAlignment) | Qt::AlignVCenter;
        option.state |= QStyle::State_Raised | QStyle::State_Horizontal;
        option.orientation = Qt::Horizontal;
        option.position = QStyleOptionHeader::Middle;
        const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, &option, this);
        int textWidth = rect.width() - 2 * margin;
        if (columnInfo.Sorted()) {
            // As in Qt's own header views: ascending shows the "down" indicator.
            option.sortIndicator
                = columnInfo.SortKind() == skAscending ? QStyleOptionHeader::SortDown : QStyleOptionHeader::SortUp;
            textWidth -= style()->pixelMetric(QStyle::PM_HeaderMarkSize, &option, this) + margin;
        }
        // The style neither elides nor clips a caption that is too wide.
        option.text = fontMetrics().elidedText(columnInfo.Header, Qt::ElideRight, std::max(0, textWidth));
        painter.save();
        painter.setClipRect(rect, Qt::IntersectClip);
        style()->drawControl(QStyle::CE_Header, &option, &painter, this);
        painter.restore();
    }
    if (end < viewport()->width()) {
        QStyleOption option;
        option.initFrom(this);
        option.rect = QRect(end, 0, viewport()->width() - end, geometry.headerHeight());
        style()->drawControl(QStyle::CE_HeaderEmptyArea, &option, &painter, this);
    }
}

} // namespace quillmere
