#include "imaging/bitmap.h"
#include "imaging/image_list.h"
#include "table/data_grid_view.h"
#include "platform/path_text.h"
#include "table/program_tables.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace quillmere;

namespace {

struct Call {
    char kind; // 'c' cell click, 'd' double click
    int column;
    int row;
    int selectedRow; // the table's selected row while the handler ran
    bool operator==(const Call &) const = default;
};

void PrintTo(const Call &call, std::ostream *out)
{
    *out << call.kind << '(' << call.column << ',' << call.row << " sel " << call.selectedRow << ')';
}

class GridViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TBitmap red;
        red.SetSize(100, 75);
        red.Canvas().fill(Qt::red);
        thumbnails.Add(red);

        grid = makeResultGrid(&thumbnails);
        view = std::make_unique<TDataGridView>(*grid);
        view->resize(820, 420);
        view->show(); // offscreen; lays out the viewport
        view->OnCellClick = [this](int c, int r) { calls.push_back({ 'c', c, r, grid->SelectedRowIndex() }); };
        view->OnCellDblClick = [this](int c, int r) { calls.push_back({ 'd', c, r, grid->SelectedRowIndex() }); };
    }

    int addRow(const QString &dest, const QString &size, qint32 image, double group)
    {
        const int row = grid->AppendRows(1);
        grid->CellAt(QStringLiteral("Dest"), row).setText(dest);
        grid->CellAt(QStringLiteral("Size"), row).setText(size);
        grid->CellAt(QStringLiteral("Bytes"), row).setText(size);
        grid->CellAt(QStringLiteral("Priv"), row).setInteger(image);
        grid->CellAt(QStringLiteral("Group"), row).setFloat(group);
        return row;
    }
    void addRows(int count)
    {
        for (int i = 0; i < count; ++i) {
            addRow(QStringLiteral("/p/%1.jpg").arg(i), QString::number(100 + i), 0, 1 + i / 2);
        }
    }

    bool del(int row) const { return std::get<bool>(grid->peek(colDel, row)); }
    QWidget *surface() const { return view->viewport(); }
    QRect cell(int column, int row) const { return view->layout().cellRect(column, row); }
    QPoint at(int column, int row) const { return cell(column, row).center(); }
    QPoint checkBox(int row) const { return checkBoxRect(cell(colDel, row), TAlignment::Center).center(); }
    // A point in the Del cell well away from its check box.
    QPoint besideCheckBox(int row) const { return cell(colDel, row).topLeft() + QPoint(4, 4); }
    void click(QPoint point, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(surface(), button, {}, point);
    }
    QImage shot() const { return surface()->grab().toImage(); }

    TImageList thumbnails;
    std::unique_ptr<TDataGrid> grid;
    std::unique_ptr<TDataGridView> view;
    std::vector<Call> calls;
};

} // namespace

TEST_F(GridViewTest, leftClickSelectsRowThenRaisesCellClickForThatColumn)
{
    addRows(4);
    click(at(colDest, 2));
    EXPECT_EQ(grid->SelectedRowIndex(), 2);
    EXPECT_EQ(grid->SelectedColumnIndex(), colDest);
    click(at(colPriv, 1));
    // The handler already sees the clicked row selected.
    EXPECT_EQ(calls, (std::vector<Call> { { 'c', colDest, 2, 2 }, { 'c', colPriv, 1, 1 } }));

    // Pressed on one cell and released on another: selected, but no click.
    calls.clear();
    QTest::mousePress(surface(), Qt::LeftButton, {}, at(colSize, 3));
    QTest::mouseRelease(surface(), Qt::LeftButton, {}, at(colRes, 3));
    EXPECT_EQ(grid->SelectedRowIndex(), 3);
    EXPECT_EQ(grid->SelectedColumnIndex(), colSize);
    EXPECT_TRUE(calls.empty());

    // Below the last row nothing is hit.
    click(QPoint(50, surface()->height() - 3));
    EXPECT_EQ(grid->SelectedRowIndex(), 3);
    EXPECT_TRUE(calls.empty());
}

TEST_F(GridViewTest, rightPressSelectsWithoutClickAndMenuActsOnThatRow)
{
    addRows(4);
    QMenu menu;
    menu.addAction(QStringLiteral("Execute"));
    view->setPopupMenu(&menu);

    click(at(colDest, 0));
    calls.clear();
    QTest::mousePress(surface(), Qt::RightButton, {}, at(colDate, 3));
    EXPECT_EQ(grid->SelectedRowIndex(), 3);
    QContextMenuEvent mouseMenu(QContextMenuEvent::Mouse, at(colDate, 3), surface()->mapToGlobal(at(colDate, 3)));
    QApplication::sendEvent(surface(), &mouseMenu);
    EXPECT_TRUE(menu.isVisible());
    menu.hide();
    QTest::mouseRelease(surface(), Qt::RightButton, {}, at(colDate, 3));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(grid->SelectedRowIndex(), 3);

    // From the keyboard the menu opens on the row selected before, wherever
    // the pointer is.
    QContextMenuEvent keyMenu(QContextMenuEvent::Keyboard, at(colDest, 1), surface()->mapToGlobal(at(colDest, 1)));
    QApplication::sendEvent(surface(), &keyMenu);
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(grid->SelectedRowIndex(), 3);
    menu.hide();

    // A menu that was destroyed is forgotten.
    auto transient = std::make_unique<QMenu>();
    view->setPopupMenu(transient.get());
    transient.reset();
    EXPECT_EQ(view->popupMenu(), nullptr);
    QApplication::sendEvent(surface(), &mouseMenu);
}

TEST_F(GridViewTest, checkBoxClickTogglesAfterTheHandlerAndSelects)
{
    addRows(3);
    view->OnCellClick = [this](int c, int r) {
        // The flag is handled only after the handler returns.
        calls.push_back({ 'c', c, r, del(r) ? 1 : 0 });
    };
    click(checkBox(1));
    EXPECT_TRUE(del(1));
    EXPECT_EQ(grid->SelectedRowIndex(), 1);
    EXPECT_EQ(grid->SelectedColumnIndex(), colDel);
    EXPECT_EQ(calls, (std::vector<Call> { { 'c', colDel, 1, 0 } }));
    click(checkBox(1));
    EXPECT_FALSE(del(1));

    // Elsewhere in the Del cell: selects only.
    click(besideCheckBox(2));
    EXPECT_FALSE(del(2));
    EXPECT_EQ(grid->SelectedRowIndex(), 2);

    // Only the release has to be inside the square; the press may be anywhere
    // in the same cell.
    QTest::mousePress(surface(), Qt::LeftButton, {}, besideCheckBox(0));
    QTest::mouseRelease(surface(), Qt::LeftButton, {}, checkBox(0));
    EXPECT_TRUE(del(0));
    // Released on another row's box: nothing toggles.
    QTest::mousePress(surface(), Qt::LeftButton, {}, checkBox(2));
    QTest::mouseRelease(surface(), Qt::LeftButton, {}, checkBox(1));
    EXPECT_FALSE(del(1));
    EXPECT_FALSE(del(2));
    // The right button never toggles.
    click(checkBox(1), Qt::RightButton);
    EXPECT_FALSE(del(1));
    EXPECT_EQ(grid->SelectedRowIndex(), 1);
}

TEST_F(GridViewTest, spaceTogglesOnlyWhileTheSelectedCellIsInTheCheckBoxColumn)
{
    addRows(3);
    QTest::keyClick(surface(), Qt::Key_Space); // nothing selected yet
    click(at(colDest, 0));
    QTest::keyClick(surface(), Qt::Key_Space);
    EXPECT_FALSE(del(0));

    click(besideCheckBox(0));
    QTest::keyClick(surface(), Qt::Key_Space);
    EXPECT_TRUE(del(0));
    QTest::keyClick(surface(), Qt::Key_Space);
    EXPECT_FALSE(del(0));

    // Moving down keeps the selected column, so space marks the next row.
    QTest::keyClick(surface(), Qt::Key_Down);
    EXPECT_EQ(grid->SelectedRowIndex(), 1);
    QTest::keyClick(surface(), Qt::Key_Space);
    EXPECT_TRUE(del(1));
    EXPECT_FALSE(del(0));
    QTest::keyClick(surface(), Qt::Key_Down);
    QTest::keyClick(surface(), Qt::Key_Down);
    EXPECT_EQ(grid->SelectedRowIndex(), 2);
    QTest::keyClick(surface(), Qt::Key_Up);
    EXPECT_EQ(grid->SelectedRowIndex(), 1);
}

TEST_F(GridViewTest, doubleClickRaisesDoubleClickThenTheSecondReleaseClicks)
{
    addRows(3);
    const QPoint point = at(colSize, 2);
    QTest::mouseClick(surface(), Qt::LeftButton, {}, point);
    QTest::mouseDClick(surface(), Qt::LeftButton, {}, point);
    QTest::mouseRelease(surface(), Qt::LeftButton, {}, point);
    EXPECT_EQ(calls,
              (std::vector<Call> { { 'c', colSize, 2, 2 }, { 'd', colSize, 2, 2 }, { 'c', colSize, 2, 2 } }));

    // On a check box both releases toggle, so the flag ends where it began.
    QTest::mouseClick(surface(), Qt::LeftButton, {}, checkBox(0));
    EXPECT_TRUE(del(0));
    QTest::mouseDClick(surface(), Qt::LeftButton, {}, checkBox(0));
    EXPECT_TRUE(del(0));
    QTest::mouseRelease(surface(), Qt::LeftButton, {}, checkBox(0));
    EXPECT_FALSE(del(0));
}

TEST_F(GridViewTest, headerClickSortsSizeDescendingFirstThenAscending)
{
    addRow(QStringLiteral("/a"), QStringLiteral("30"), 0, 1);
    addRow(QStringLiteral("/b"), QStringLiteral("200"), 0, 1);
    addRow(QStringLiteral("/c"), QStringLiteral("1000"), 0, 2);
    const auto sizes = [this] {
        QStringList out;
        for (int r = 0; r < grid->RowCount(); ++r) {
            out << std::get<QString>(grid->peek(colSize, r));
        }
        return out.join(QLatin1Char(' '));
    };
    const QPoint sizeHeader = view->layout().headerRect(colSize).center();

    // Released over another header: no sort.
    QTest::mousePress(surface(), Qt::LeftButton, {}, sizeHeader);
    QTest::mouseRelease(surface(), Qt::LeftButton, {}, view->layout().headerRect(colDest).center());
    EXPECT_EQ(sizes(), QStringLiteral("30 200 1000"));

    click(sizeHeader);
    EXPECT_EQ(sizes(), QStringLiteral("1000 200 30")); // by the bytes: descending
    EXPECT_EQ(grid->Column(colSize).SortKind(), skDescending);
    click(sizeHeader);
    EXPECT_EQ(sizes(), QStringLiteral("30 200 1000"));
    // Another column sorts ascending by its own texts; headers raise no cell click.
    click(view->layout().headerRect(colDest).center());
    EXPECT_EQ(sizes(), QStringLiteral("30 200 1000"));
    EXPECT_TRUE(calls.empty());
    // The right button on a header sorts nothing.
    click(sizeHeader, Qt::RightButton);
    EXPECT_EQ(sizes(), QStringLiteral("30 200 1000"));
}

TEST_F(GridViewTest, imageCellsDrawOnlyEntriesThatExist)
{
    addRow(QStringLiteral("/a"), QStringLiteral("1"), 0, 1);
    addRow(QStringLiteral("/b"), QStringLiteral("1"), 1, 1);  // one past the last entry
    addRow(QStringLiteral("/c"), QStringLiteral("1"), -1, 1); // negative
    const QImage image = shot();
    const QColor red(Qt::red);
    const QPoint corner = imageTopLeft(cell(colPriv, 0), QSize(100, 75), TAlignment::Center);
    EXPECT_EQ(corner, cell(colPriv, 0).topLeft() + QPoint(19, 3));
    EXPECT_EQ(image.pixelColor(corner), red);
    EXPECT_EQ(image.pixelColor(corner + QPoint(99, 74)), red);
    EXPECT_NE(image.pixelColor(corner - QPoint(1, 0)), red);
    EXPECT_NE(image.pixelColor(corner + QPoint(100, 0)), red);
    EXPECT_NE(image.pixelColor(corner + QPoint(0, 75)), red);
    EXPECT_NE(image.pixelColor(at(colPriv, 1)), red);
    EXPECT_NE(image.pixelColor(at(colPriv, 2)), red);

    // Emptying the list repaints without the picture; a column without a list
    // draws nothing either.
    thumbnails.Clear();
    EXPECT_NE(shot().pixelColor(at(colPriv, 0)), red);
    grid->Column(colPriv).Images = nullptr;
    EXPECT_NE(shot().pixelColor(at(colPriv, 0)), red);
}

TEST_F(GridViewTest, selectionHighlightsTheRowExceptTheCheckBoxColumn)
{
    addRows(2);
    grid->CellAt(QStringLiteral("Dest"), 0).setText(QString());
    const QColor base = view->palette().color(QPalette::Base);
    const QColor highlight = view->palette().color(QPalette::Highlight);
    const QPoint blankDest = cell(colDest, 0).bottomRight() - QPoint(3, 3);
    EXPECT_EQ(shot().pixelColor(blankDest), base);

    click(at(colDate, 0));
    QImage image = shot();
    EXPECT_EQ(image.pixelColor(blankDest), highlight);
    EXPECT_EQ(image.pixelColor(besideCheckBox(0)), base);
    EXPECT_EQ(image.pixelColor(cell(colDest, 1).bottomRight() - QPoint(3, 3)), base);

    // The check box itself is drawn ticked once the flag is set.
    const QRect box = checkBoxRect(cell(colDel, 0), TAlignment::Center);
    const QImage unticked = image.copy(box);
    grid->CellAt(QStringLiteral("Del"), 0).setBoolean(true);
    EXPECT_NE(shot().copy(box), unticked);
}

TEST_F(GridViewTest, rowsOfEvenSetsAreTintedWhereverSortingPutsThem)
{
    addRow(QStringLiteral("/d"), QStringLiteral("5"), -1, 1);
    addRow(QStringLiteral("/c"), QStringLiteral("5"), -1, 1);
    addRow(QStringLiteral("/b"), QStringLiteral("7"), -1, 2);
    addRow(QStringLiteral("/a"), QStringLiteral("7"), -1, 2);
    addRow(QStringLiteral("/e"), QStringLiteral("9"), -1, 0); // no set yet
    const QColor base = view->palette().color(QPalette::Base);
    const auto background = [this](const QImage &image, int row) {
        return image.pixelColor(cell(colPriv, row).topLeft() + QPoint(2, 2));
    };
    QImage image = shot();
    const QColor tint = background(image, 2);
    EXPECT_NE(tint, base);
    EXPECT_EQ(background(image, 0), base);
    EXPECT_EQ(background(image, 3), tint);
    EXPECT_EQ(background(image, 4), base);

    click(view->layout().headerRect(colDest).center()); // "/a" "/b" "/c" "/d" "/e"
    image = shot();
    for (int r = 0; r < grid->RowCount(); ++r) {
        const bool even = std::get<double>(grid->peek(colGroup, r)) == 2.0;
        EXPECT_EQ(background(image, r), even ? tint : base) << r;
    }
}

TEST_F(GridViewTest, handlersThatChangeTheTableDoNotConfuseTheCheckBox)
{
    addRows(4);
    // Removing the clicked row: no other row takes its toggle.
    view->OnCellClick = [this](int, int r) { grid->RemoveRow(r); };
    click(checkBox(1));
    ASSERT_EQ(grid->RowCount(), 3);
    for (int r = 0; r < 3; ++r) {
        EXPECT_FALSE(del(r)) << r;
    }

    // Sorting moves the clicked row; its own flag is toggled at its new place.
    const QString clicked = std::get<QString>(grid->peek(colDest, 0));
    view->OnCellClick = [this](int, int) {
        grid->Column(colDest).setSortKind(skDescending);
        grid->Column(colDest).setSorted(true);
    };
    click(checkBox(0));
    for (int r = 0; r < grid->RowCount(); ++r) {
        EXPECT_EQ(del(r), std::get<QString>(grid->peek(colDest, r)) == clicked) << r;
    }

    // Emptying the table from a click or double-click handler is harmless.
    view->OnCellClick = [this](int, int) { grid->RemoveAllRows(); };
    click(checkBox(0));
    EXPECT_EQ(grid->RowCount(), 0);
    addRows(2);
    view->OnCellClick = nullptr;
    view->OnCellDblClick = [this](int, int) { grid->RemoveAllRows(); };
    QTest::mouseClick(surface(), Qt::LeftButton, {}, checkBox(1));
    QTest::mouseDClick(surface(), Qt::LeftButton, {}, checkBox(1));
    QTest::mouseRelease(surface(), Qt::LeftButton, {}, checkBox(1));
    EXPECT_EQ(grid->RowCount(), 0);
    QTest::keyClick(surface(), Qt::Key_Space);
    QTest::keyClick(surface(), Qt::Key_Down);
    EXPECT_EQ(grid->SelectedRowIndex(), -1);
    shot();
}

TEST_F(GridViewTest, twentyThousandRowsScrollToAnyRow)
{
    grid->AppendRows(20000);
    QScrollBar *bar = view->verticalScrollBar();
    const int rowsHeight = surface()->height() - view->headerHeight();
    EXPECT_EQ(bar->maximum(), 20000 * 82 - rowsHeight);

    view->scrollToRow(15000);
    const QRect target = cell(colDest, 15000);
    EXPECT_GE(target.top(), view->headerHeight());
    EXPECT_LE(target.bottom(), surface()->height() - 1);
    click(target.center());
    EXPECT_EQ(grid->SelectedRowIndex(), 15000);
    EXPECT_EQ(calls.back(), (Call { 'c', colDest, 15000, 15000 }));

    QTest::keyClick(surface(), Qt::Key_End);
    EXPECT_EQ(grid->SelectedRowIndex(), 19999);
    EXPECT_EQ(bar->value(), bar->maximum());
    QTest::keyClick(surface(), Qt::Key_Home);
    EXPECT_EQ(bar->value(), 0);
    // The row numbers of a far row are drawn from the row's own index.
    view->scrollToRow(19999);
    EXPECT_FALSE(shot().isNull());

    // Emptying the table pulls the scroll range back.
    grid->RemoveAllRows();
    EXPECT_EQ(bar->maximum(), 0);
}

TEST(GridViewHook, modelChangesReachPreviousListenerAndOutliveTheView)
{
    auto grid = makeResultGrid(nullptr);
    int heard = 0;
    grid->onChanged = [&heard] { ++heard; };
    {
        TDataGridView view(*grid);
        view.resize(400, 300);
        view.show();
        grid->AppendRows(10);
        EXPECT_EQ(heard, 10 * 3 + 1); // three default writes per row, then the append
        EXPECT_GT(view.verticalScrollBar()->maximum(), 0);
    }
    grid->AppendRows(1);
    EXPECT_EQ(heard, 10 * 3 + 1 + 4);
}

TEST_F(GridViewTest, cutShortTextsOfferTheirWholeTextAsHint)
{
    const QString longPath = QStringLiteral("/photos/") + QString(80, QLatin1Char('x')) + QStringLiteral(".jpg");
    addRow(longPath, QStringLiteral("1 KB"), 0, 1);
    EXPECT_EQ(view->hiddenTextAt(at(colDest, 0)), longPath);
    EXPECT_EQ(view->hiddenTextAt(at(colSize, 0)), QString()); // fits
    EXPECT_EQ(view->hiddenTextAt(at(colPriv, 0)), QString()); // not a text cell
    EXPECT_EQ(view->hiddenTextAt(at(colDest, 5)), QString()); // no such row

    // A name that is not UTF-8 and holds a line break is hinted as people
    // read it, on one line naming the real file.
    const std::string odd = "/photos/" + std::string(80, 'y') + "\xe9\n\\.jpg";
    addRow(pathToText(odd), QStringLiteral("1 KB"), 0, 1);
    EXPECT_EQ(view->hiddenTextAt(at(colDest, 1)),
              QStringLiteral("/photos/") + QString(80, QLatin1Char('y')) + QStringLiteral("\\xE9\\n\\\\.jpg"));
}

TEST_F(GridViewTest, columnsResizeByTheirHeaderEdgesAndDestTakesTheRoomAWiderViewGains)
{
    addRow(QStringLiteral("/p/a.jpg"), QStringLiteral("137.1123046875 KB"), 0, 1);
    const std::vector<int> designed {grid->Column(colDest).Width, grid->Column(colSize).Width};
    EXPECT_EQ(cell(colDest, 0).width(), designed[0]) << "designed widths at start";

    // A drag of the edge after Size widens it by the distance dragged, and
    // sorts nothing.
    const bool sorted = grid->Column(colSize).Sorted();
    const TSortKind kind = grid->Column(colSize).SortKind();
    const QPoint edge(cell(colSize, 0).right() + 1, view->headerHeight() / 2);
    QTest::mousePress(surface(), Qt::LeftButton, {}, edge);
    QMouseEvent move(QEvent::MouseMove, QPointF(edge + QPoint(40, 0)), surface()->mapToGlobal(QPointF(edge + QPoint(40, 0))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(surface(), &move);
    QTest::mouseRelease(surface(), Qt::LeftButton, {}, edge + QPoint(40, 0));
    EXPECT_EQ(grid->Column(colSize).Width, designed[1] + 40);
    EXPECT_EQ(grid->Column(colSize).Sorted(), sorted);
    EXPECT_EQ(grid->Column(colSize).SortKind(), kind);

    // A double click on the edge fits the column to its widest text.
    const QPoint sizeEdge(cell(colSize, 0).right() + 1, view->headerHeight() / 2);
    QTest::mouseDClick(surface(), Qt::LeftButton, {}, sizeEdge);
    const int textWidth = view->fontMetrics().horizontalAdvance(QStringLiteral("137.1123046875 KB"));
    EXPECT_GE(grid->Column(colSize).Width, textWidth + 4);
    EXPECT_LE(grid->Column(colSize).Width, textWidth + 60);
    EXPECT_TRUE(view->hiddenTextAt(at(colSize, 0)).isEmpty()) << "the whole size shows";

    // A wider view gives its room to Dest; the others keep theirs.
    const int sizeWidth = cell(colSize, 0).width();
    view->resize(view->width() + 150, view->height());
    EXPECT_EQ(cell(colDest, 0).width(), designed[0] + 150);
    EXPECT_EQ(cell(colSize, 0).width(), sizeWidth);
    view->resize(view->width() - 400, view->height());
    EXPECT_EQ(cell(colDest, 0).width(), designed[0]);
}

namespace {

// The regions a widget was asked to paint.
class PaintedRegions : public QObject {
public:
    explicit PaintedRegions(QWidget *widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent *>(event)->region();
        }
        return false;
    }
    QRegion painted;
};

} // namespace

TEST_F(GridViewTest, onlyChangedRowsInViewArePaintedAgain)
{
    addRows(40);
    QApplication::processEvents();
    PaintedRegions regions(surface());
    const QImage before = shot();
    regions.painted = QRegion();

    // Rows added and written below the view: nothing in view changed.
    addRows(20);
    grid->CellAt(QStringLiteral("Dest"), 45).setText(QStringLiteral("/p/changed.jpg"));
    QApplication::processEvents();
    EXPECT_TRUE(regions.painted.isEmpty()) << regions.painted.boundingRect().height();

    // A visible row's cell: its band (and its neighbours') only.
    grid->CellAt(QStringLiteral("Dest"), 2).setText(QStringLiteral("/p/renamed.jpg"));
    QApplication::processEvents();
    ASSERT_FALSE(regions.painted.isEmpty());
    EXPECT_TRUE(regions.painted.boundingRect().contains(cell(colDest, 2)));
    EXPECT_FALSE(regions.painted.intersects(cell(colDest, 0)));
    EXPECT_FALSE(regions.painted.intersects(cell(colDest, 4)));
    // What the window shows after painting only the band is what a whole
    // paint shows.
    const QImage after = shot();
    EXPECT_NE(after, before);
    const QRect area(surface()->mapTo(view.get(), QPoint(0, 0)), surface()->size());
    const QImage shown = view->screen()->grabWindow(view->winId()).toImage().copy(area);
    EXPECT_EQ(shown.convertToFormat(after.format()), after);

    // A thumbnail added to the list repaints only the cells in view that
    // already name it.
    TBitmap blue;
    blue.SetSize(100, 75);
    blue.Canvas().fill(Qt::blue);
    grid->CellAt(QStringLiteral("Priv"), 3).setInteger(1);
    QApplication::processEvents();
    regions.painted = QRegion();
    thumbnails.Add(blue);
    QApplication::processEvents();
    EXPECT_EQ(regions.painted.boundingRect(), cell(colPriv, 3));
    regions.painted = QRegion();
    thumbnails.Add(blue);
    QApplication::processEvents();
    EXPECT_TRUE(regions.painted.isEmpty());

    // A sort changes everything in view.
    regions.painted = QRegion();
    grid->HeaderClick(colDest);
    QApplication::processEvents();
    EXPECT_EQ(regions.painted.boundingRect(), surface()->rect());
}
