#pragma once

#include "table/text_store.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <variant>
#include <vector>

namespace quillmere {

class TImageList;
class TDataGrid;

enum TSortType { stAlphabetic, stBoolean, stCaseInsensitive, stCustom, stNumeric, stDate, stIP };
enum TSortKind { skAscending, skDescending };

enum TColumnOption : unsigned {
    coCanClick = 1u << 0,
    coCanInput = 1u << 1,
    coCanSort = 1u << 2,
    coDontHighlight = 1u << 3,
    coEditing = 1u << 4,
    coFullResort = 1u << 5,
    coPublicUsing = 1u << 6,
    coShowTextFitHint = 1u << 7,
};
using TColumnOptions = unsigned;

enum TGridOption : unsigned {
    goGrid = 1u << 0,
    goHeader = 1u << 1,
    goSelectFullRow = 1u << 2,
    goUseDefaultValues = 1u << 3,
};
using TGridOptions = unsigned;

enum class TAlignment { Left, Right, Center };

// How a table keeps its rows. Row records hold one typed value per column and
// keep their place in memory, which the visible table's view relies on.
// Compact rows are for tables of text columns only: a row is a number and one
// StoredText per column, the texts kept in shared stores, so the hidden
// working tables hold a million rows in a few bytes each beyond their texts.
// Both behave alike in every operation of the table.
enum class TRowStorage { Records, Compact };

// What a column's cells hold; each column class creates cells of one kind.
enum class CellKind {
    String,    // TStringCell: 16-bit text
    Increment, // TIncrementCell: nothing stored, shows the row number
    Integer,   // TIntegerCell: signed 32-bit integer (an image index)
    Boolean,   // TBooleanCell: a flag (a check box)
    Float,     // TFloatCell: a double
};

using CellValue = std::variant<std::monostate, QString, qint32, bool, double>;

// One row record: one value per column, in column order. Rows move as a whole,
// so a row never comes apart.
struct TRow {
    std::vector<CellValue> cells;
};

class TGridCustomColumn {
public:
    virtual ~TGridCustomColumn() = default;

    const QString &Name() const { return name_; }
    CellKind kind() const { return kind_; }
    int Index() const { return index_; }
    TDataGrid *Grid() const { return grid_; }

    QString Header;
    int Width = 64;
    TAlignment Alignment = TAlignment::Left;
    TAlignment HeaderAlignment = TAlignment::Left;
    bool Visible = true;
    QString DefaultValue;
    TColumnOptions Options = coCanClick | coCanInput | coCanSort | coPublicUsing;
    TSortType SortType = stAlphabetic;
    TImageList *Images = nullptr; // image columns only
    // Shown after the value of a number cell ("%" shows 93 as "93%"); a text
    // written to the cell may end with it. Sorting still goes by the value.
    QString Suffix;
    // The column whose values order the rows when this one is sorted, by
    // that column's sort type (a size shown as "14.75 KB" sorts by its
    // bytes); empty for the column's own values.
    QString SortBy;

    // A number cell's value as the cell shows it.
    QString numberText(double value) const;

    bool Sorted() const { return sorted_; }
    // Setting true clears every other column's flag and sorts at once; false
    // only clears the flag.
    void setSorted(bool value);
    TSortKind SortKind() const { return sortKind_; }
    // Stores the kind; re-sorts when the column is the sorted one.
    void setSortKind(TSortKind kind);
    // Marks the column as the sorted one without sorting, as a table's layout
    // does before it has rows.
    void setSortedAtCreation() { sorted_ = true; }

protected:
    TGridCustomColumn(QString name, CellKind kind);

private:
    friend class TDataGrid;
    QString name_;
    CellKind kind_;
    int index_ = -1;
    TDataGrid *grid_ = nullptr;
    bool sorted_ = false;
    TSortKind sortKind_ = skAscending;
};

class TGridTextColumn : public TGridCustomColumn {
public:
    explicit TGridTextColumn(QString name);
};
class TGridIncrementColumn : public TGridCustomColumn {
public:
    explicit TGridIncrementColumn(QString name);
};
class TGridImageColumn : public TGridCustomColumn {
public:
    explicit TGridImageColumn(QString name);
};
class TGridCheckBoxColumn : public TGridCustomColumn {
public:
    explicit TGridCheckBoxColumn(QString name);
};
class TGridNumberColumn : public TGridCustomColumn {
public:
    explicit TGridNumberColumn(QString name);
};

// A cell as CellAt hands it out: the accessors of its column's cell class.
// Every write clears the table's sorted flag and notifies the table's view.
class TGridCell {
public:
    QString text() const;
    void setText(const QString &value) const;
    qint32 asInteger() const;
    void setInteger(qint32 value) const;
    bool asBoolean() const;
    void setBoolean(bool value) const;
    double asFloat() const;
    void setFloat(double value) const;

    // The text as its table keeps it (compact rows only; a table of row
    // records throws std::logic_error).
    StoredText storedText() const;
    // Writes a text kept in one of `stores` without copying it (compact rows);
    // a table of row records takes it as text.
    void setStoredText(const StoredText &text, const TextStores &stores) const;

    int column() const { return column_; }

private:
    friend class TDataGrid;
    TGridCell(TDataGrid *grid, int column, TRow *row, int index)
        : grid_(grid)
        , column_(column)
        , row_(row)
        , index_(index)
    {
    }
    CellValue &value() const;
    QString stringValue() const;
    void written() const;
    double asNumber() const;
    void setNumber(double number, const QString &asText) const;

    TDataGrid *grid_;
    int column_;
    TRow *row_;  // the row record; null for compact rows
    int index_;  // the row's index when it was looked up
};

// The table model shared by the result table and the two hidden working
// tables: rows of typed cells under named columns, the selected row, the sort
// memory and the sort by one column. It draws nothing; a view listens through
// onChanged.
class TDataGrid {
public:
    TDataGrid(QString name, TGridOptions options = goHeader, int rowSize = 16,
              TRowStorage storage = TRowStorage::Records);
    TDataGrid(const TDataGrid &) = delete;
    TDataGrid &operator=(const TDataGrid &) = delete;

    const QString &Name() const { return name_; }
    TGridOptions Options() const { return options_; }
    bool compact() const { return storage_ == TRowStorage::Compact; }
    int RowSize() const { return rowSize_; }

    // Columns take their index in order of addition.
    template <class Column, class... Args>
    Column &addColumn(Args &&...args)
    {
        auto column = std::make_unique<Column>(std::forward<Args>(args)...);
        Column &ref = *column;
        adoptColumn(std::move(column));
        return ref;
    }
    int ColumnCount() const { return static_cast<int>(columns_.size()); }
    TGridCustomColumn &Column(int index) const { return *columns_.at(static_cast<std::size_t>(index)); }
    // ASCII case-insensitive; the first match in column order, or nullptr.
    TGridCustomColumn *FindColumn(const QString &name) const;

    int AppendRows(int count);
    void RemoveAllRows();
    int RowCount() const { return static_cast<int>(compact() ? rowIds_.size() : rows_.size()); }
    void RemoveRow(int row);

    TGridCell CellAt(const QString &column, int row);
    TGridCell CellAt(int column, int row);

    int SelectedRowIndex() const { return selectedRow_; }
    int SelectedColumnIndex() const { return selectedColumn_; }
    // The user's selection of a cell (a press on it).
    void SelectCell(int column, int row);

    // A header click on a column: flips the sorted column's kind, else makes
    // the column the sorted one.
    void HeaderClick(int column);

    // Sort memory, as the sort and the tests see it.
    bool MemorySorted() const { return memorySorted_; }
    int MemoryColumn() const { return memoryColumn_; }
    TSortKind MemoryKind() const { return memoryKind_; }

    // The last cell looked up by CellAt; row-number cells show its row + 1.
    int LastAddressedColumn() const { return lastColumn_; }
    int LastAddressedRow() const { return lastRow_; }

    // Called after every change of content, selection or order.
    std::function<void()> onChanged;
    void Repaint() const { notify(); }

    // What the change being told through onChanged touched: the cells of a
    // run of rows, or anything (the whole table).
    struct Change {
        int firstRow = 0;
        int lastRow = -1;
        bool whole = true;
    };
    const Change &lastChange() const { return lastChange_; }

    // Read access for the view without touching the last addressed cell
    // (row records only; compact rows throw std::logic_error).
    const CellValue &peek(int column, int row) const;

    // The stores that the texts of compact rows are kept in.
    const TextStores &textStores() const { return stores_; }

    // Called every few thousand steps of a sort of many rows, so that the
    // window keeps answering while a large table is sorted. It may throw to
    // end the sort; a sort whose table changed inside it ends there, leaving
    // the rows as they are and the sort memory unset.
    std::function<void()> whileSorting;

private:
    friend class TGridCell;
    friend class TGridCustomColumn;

    void adoptColumn(std::unique_ptr<TGridCustomColumn> column);
    void notify() const;
    void notify(const Change &change) const;
    void contentChanged(int row);
    void sortByColumn(int column, TSortType type, TSortKind kind, bool forceFull);
    void quickSort(int left, int right, int column, TSortType type, TSortKind kind);
    int compareRows(int a, int b, int column, TSortType type);
    void swapRows(int a, int b);
    // The numbers a numeric sort of the column compares, row by row.
    std::vector<double> rowNumbers(int column) const;
    std::uintptr_t rowKey(int row) const;
    void sortStep();
    void newStore();
    [[noreturn]] void raiseIndex(int index) const;

    QString name_;
    TGridOptions options_;
    int rowSize_;
    std::vector<std::unique_ptr<TGridCustomColumn>> columns_;
    TRowStorage storage_;
    std::vector<std::unique_ptr<TRow>> rows_;
    // Compact rows: a number per row (what identifies the row record), one
    // text per column and row, and the stores the texts are kept in, the
    // table's own first.
    std::vector<std::uint32_t> rowIds_;
    std::uint32_t nextRowId_ = 0;
    std::vector<std::vector<StoredText>> texts_;
    std::shared_ptr<TextStore> ownStore_;
    TextStores stores_;
    // Counts changes of content and of the rows, so a sort can tell that a
    // handler run from whileSorting changed the table under it.
    std::uint64_t changes_ = 0;
    std::uint32_t stepsSincePump_ = 0;
    mutable Change lastChange_;
    // During a numeric sort, each row's number, moving with its row.
    std::vector<double> sortNumbers_;
    int selectedRow_ = -1;
    int selectedColumn_ = 0;
    bool memorySorted_ = false;
    int memoryColumn_ = 0;
    TSortKind memoryKind_ = skAscending;
    int lastColumn_ = 0;
    int lastRow_ = 0;
};

} // namespace quillmere
