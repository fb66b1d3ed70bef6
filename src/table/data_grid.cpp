#include "table/data_grid.h"

#include "common/random_generator.h"
#include "platform/errors.h"
#include "platform/number_text.h"
#include "platform/locale_formats.h"

#include <QScopeGuard>

#include <optional>
#include <stdexcept>
#include <utility>

namespace quillmere {

namespace {

bool asciiEqualIgnoringCase(const QString &a, const QString &b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a.at(i).unicode();
        char16_t y = b.at(i).unicode();
        if (x >= u'A' && x <= u'Z') {
            x = static_cast<char16_t>(x + 32);
        }
        if (y >= u'A' && y <= u'Z') {
            y = static_cast<char16_t>(y + 32);
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

// A whole decimal integer in the 32-bit range, optionally signed.
bool parseDecimal(const QString &text, qint32 &out)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (ok) {
        out = value;
    }
    return ok;
}

double parseNumber(const QString &text)
{
    QString normalised = text.trimmed();
    const QChar separator = localeFormats().decimalSeparator;
    if (separator != QLatin1Char('.')) {
        normalised.replace(separator, QLatin1Char('.'));
    }
    bool ok = false;
    const double value = normalised.toDouble(&ok);
    if (!ok) {
        throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    }
    return value;
}

// The number held by a cell of the kinds that hold one as such (a flag is
// 1 or 0); 0 for the others.
double typedNumber(const CellValue &v, CellKind kind)
{
    switch (kind) {
    case CellKind::Integer:
        return std::get<qint32>(v);
    case CellKind::Boolean:
        return std::get<bool>(v) ? 1.0 : 0.0;
    case CellKind::Float:
        return std::get<double>(v);
    case CellKind::String:
    case CellKind::Increment:
        break;
    }
    return 0.0;
}

CellValue emptyValue(CellKind kind)
{
    switch (kind) {
    case CellKind::String:
        return QString();
    case CellKind::Increment:
        return std::monostate();
    case CellKind::Integer:
        return qint32(0);
    case CellKind::Boolean:
        return false;
    case CellKind::Float:
        return 0.0;
    }
    return std::monostate();
}

// Sort steps (comparisons and exchanges) between two calls of whileSorting:
// a few milliseconds of sorting.
constexpr std::uint32_t kStepsPerPump = 1u << 15;

// Ends a sort whose table changed inside whileSorting.
struct TableChangedWhileSorting { };

} // namespace

// ---- Columns ---------------------------------------------------------------

TGridCustomColumn::TGridCustomColumn(QString name, CellKind kind)
    : name_(std::move(name))
    , kind_(kind)
{
}

void TGridCustomColumn::setSorted(bool value)
{
    if (!value) {
        sorted_ = false;
        return;
    }
    if (grid_ != nullptr) {
        for (const auto &column : grid_->columns_) {
            column->sorted_ = false;
        }
    }
    sorted_ = true;
    if (grid_ != nullptr && (Options & coCanSort) != 0) {
        grid_->sortByColumn(index_, SortType, sortKind_, (Options & coFullResort) != 0);
    }
}

void TGridCustomColumn::setSortKind(TSortKind kind)
{
    sortKind_ = kind;
    if (sorted_ && grid_ != nullptr && (Options & coCanSort) != 0) {
        grid_->sortByColumn(index_, SortType, sortKind_, (Options & coFullResort) != 0);
    }
}

QString TGridCustomColumn::numberText(double value) const
{
    return GeneralNumberText(value) + Suffix;
}

TGridTextColumn::TGridTextColumn(QString name)
    : TGridCustomColumn(std::move(name), CellKind::String)
{
    Options |= coShowTextFitHint;
}

TGridIncrementColumn::TGridIncrementColumn(QString name)
    : TGridCustomColumn(std::move(name), CellKind::Increment)
{
}

TGridImageColumn::TGridImageColumn(QString name)
    : TGridCustomColumn(std::move(name), CellKind::Integer)
{
    DefaultValue = QStringLiteral("0");
    SortType = stNumeric;
}

TGridCheckBoxColumn::TGridCheckBoxColumn(QString name)
    : TGridCustomColumn(std::move(name), CellKind::Boolean)
{
    SortType = stBoolean;
}

TGridNumberColumn::TGridNumberColumn(QString name)
    : TGridCustomColumn(std::move(name), CellKind::Float)
{
    DefaultValue = QStringLiteral("0");
    SortType = stNumeric;
}

// ---- Cells -----------------------------------------------------------------

CellValue &TGridCell::value() const
{
    return row_->cells[static_cast<std::size_t>(column_)];
}

QString TGridCell::stringValue() const
{
    return row_ == nullptr ? storedText().text() : std::get<QString>(value());
}

StoredText TGridCell::storedText() const
{
    if (row_ != nullptr) {
        throw std::logic_error("a table of row records keeps no stored texts");
    }
    if (index_ < 0 || index_ >= grid_->RowCount()) {
        grid_->raiseIndex(index_);
    }
    return grid_->texts_[static_cast<std::size_t>(column_)][static_cast<std::size_t>(index_)];
}

void TGridCell::setStoredText(const StoredText &text, const TextStores &stores) const
{
    if (row_ != nullptr) {
        setText(text.text());
        return;
    }
    if (index_ < 0 || index_ >= grid_->RowCount()) {
        grid_->raiseIndex(index_);
    }
    KeepTextStores(grid_->stores_, stores);
    grid_->texts_[static_cast<std::size_t>(column_)][static_cast<std::size_t>(index_)] = text;
    written();
}

void TGridCell::written() const
{
    grid_->contentChanged(index_);
}

QString TGridCell::text() const
{
    if (row_ == nullptr) {
        return storedText().text();
    }
    const CellValue &v = value();
    switch (grid_->Column(column_).kind()) {
    case CellKind::String:
        return std::get<QString>(v);
    case CellKind::Increment:
        return QString::number(grid_->lastRow_ + 1);
    case CellKind::Integer:
        return QString::number(std::get<qint32>(v));
    case CellKind::Boolean:
        return std::get<bool>(v) ? QStringLiteral("True") : QStringLiteral("False");
    case CellKind::Float:
        return grid_->Column(column_).numberText(std::get<double>(v));
    }
    return {};
}

void TGridCell::setText(const QString &text) const
{
    if (row_ == nullptr) {
        setStoredText(grid_->ownStore_->add(text), {});
        return;
    }
    CellValue &v = value();
    switch (grid_->Column(column_).kind()) {
    case CellKind::String:
        v = text;
        break;
    case CellKind::Increment:
        return; // row numbers are computed, never stored
    case CellKind::Integer: {
        qint32 parsed = 0;
        if (!text.isEmpty() && !parseDecimal(text, parsed)) {
            throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
        v = parsed;
        break;
    }
    case CellKind::Boolean:
        v = text == QLatin1String("1") || asciiEqualIgnoringCase(text, QStringLiteral("true"));
        break;
    case CellKind::Float: {
        const QString &suffix = grid_->Column(column_).Suffix;
        v = parseNumber(!suffix.isEmpty() && text.endsWith(suffix) ? text.chopped(suffix.size()) : text);
        break;
    }
    }
    written();
}

// Numbers, flags and integers read from and written to any kind of cell go
// through one numeric value: a flag is 1 or 0, a number becomes an integer by
// truncation.
double TGridCell::asNumber() const
{
    if (row_ == nullptr) {
        return parseNumber(stringValue());
    }
    const CellValue &v = value();
    switch (const CellKind kind = grid_->Column(column_).kind()) {
    case CellKind::String:
        return parseNumber(std::get<QString>(v));
    case CellKind::Increment:
        return grid_->lastRow_ + 1;
    default:
        return typedNumber(v, kind);
    }
}

void TGridCell::setNumber(double number, const QString &asText) const
{
    if (row_ == nullptr) {
        setText(asText);
        return;
    }
    CellValue &v = value();
    switch (grid_->Column(column_).kind()) {
    case CellKind::String:
        v = asText;
        break;
    case CellKind::Increment:
        return; // row numbers are computed, never stored
    case CellKind::Integer:
        v = static_cast<qint32>(number);
        break;
    case CellKind::Boolean:
        v = number != 0.0;
        break;
    case CellKind::Float:
        v = number;
        break;
    }
    written();
}

qint32 TGridCell::asInteger() const
{
    if (grid_->Column(column_).kind() == CellKind::String) {
        const QString text = stringValue();
        qint32 parsed = 0;
        if (!parseDecimal(text, parsed)) {
            throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
        return parsed;
    }
    return static_cast<qint32>(asNumber());
}

void TGridCell::setInteger(qint32 value) const
{
    setNumber(value, QString::number(value));
}

bool TGridCell::asBoolean() const
{
    if (grid_->Column(column_).kind() == CellKind::String) {
        const QString text = stringValue();
        return text == QLatin1String("1") || asciiEqualIgnoringCase(text, QStringLiteral("true"));
    }
    return asNumber() != 0.0;
}

void TGridCell::setBoolean(bool value) const
{
    setNumber(value ? 1.0 : 0.0, value ? QStringLiteral("True") : QStringLiteral("False"));
}

double TGridCell::asFloat() const
{
    return asNumber();
}

void TGridCell::setFloat(double value) const
{
    setNumber(value, GeneralNumberText(value));
}

// ---- Table -----------------------------------------------------------------

TDataGrid::TDataGrid(QString name, TGridOptions options, int rowSize, TRowStorage storage)
    : name_(std::move(name))
    , options_(options)
    , rowSize_(rowSize)
    , storage_(storage)
{
    if (compact()) {
        newStore();
    }
}

void TDataGrid::newStore()
{
    ownStore_ = std::make_shared<TextStore>();
    stores_.assign(1, ownStore_);
}

void TDataGrid::adoptColumn(std::unique_ptr<TGridCustomColumn> column)
{
    if (compact() && column->kind() != CellKind::String) {
        throw std::logic_error("compact rows hold text columns only");
    }
    column->grid_ = this;
    column->index_ = ColumnCount();
    for (auto &row : rows_) {
        row->cells.push_back(emptyValue(column->kind()));
    }
    if (compact()) {
        texts_.emplace_back(rowIds_.size());
    }
    columns_.push_back(std::move(column));
}

void TDataGrid::notify() const
{
    notify(Change{});
}

void TDataGrid::notify(const Change &change) const
{
    if (onChanged) {
        lastChange_ = change;
        onChanged();
        lastChange_ = Change{};
    }
}

void TDataGrid::contentChanged(int row)
{
    ++changes_;
    memorySorted_ = false;
    notify(Change{row, row, false});
}

TGridCustomColumn *TDataGrid::FindColumn(const QString &name) const
{
    for (const auto &column : columns_) {
        if (asciiEqualIgnoringCase(column->Name(), name)) {
            return column.get();
        }
    }
    return nullptr;
}

int TDataGrid::AppendRows(int count)
{
    if (count < 1) {
        return RowCount() - 1;
    }
    const int first = RowCount();
    for (int i = 0; i < count; ++i) {
        if (compact()) {
            rowIds_.push_back(nextRowId_++);
            for (auto &texts : texts_) {
                texts.emplace_back();
            }
            continue;
        }
        auto row = std::make_unique<TRow>();
        row->cells.reserve(columns_.size());
        for (const auto &column : columns_) {
            row->cells.push_back(emptyValue(column->kind()));
        }
        rows_.push_back(std::move(row));
    }
    ++changes_;
    memorySorted_ = false;
    if ((options_ & goUseDefaultValues) != 0) {
        for (int r = first; r < RowCount(); ++r) {
            for (const auto &column : columns_) {
                if (!column->DefaultValue.isEmpty()) {
                    TRow *record = compact() ? nullptr : rows_[static_cast<std::size_t>(r)].get();
                    TGridCell(this, column->Index(), record, r).setText(column->DefaultValue);
                }
            }
        }
    }
    notify(Change{first, RowCount() - 1, false});
    return RowCount() - 1;
}

void TDataGrid::RemoveAllRows()
{
    rows_.clear();
    if (compact()) {
        // The memory goes back at once: a search's tables can be large.
        std::vector<std::uint32_t>().swap(rowIds_);
        for (auto &texts : texts_) {
            std::vector<StoredText>().swap(texts);
        }
        newStore();
    }
    ++changes_;
    selectedRow_ = -1;
    selectedColumn_ = 0;
    memorySorted_ = false;
    notify();
}

void TDataGrid::raiseIndex(int index) const
{
    throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

void TDataGrid::RemoveRow(int row)
{
    if (row < 0 || row >= RowCount()) {
        raiseIndex(row);
    }
    if (compact()) {
        rowIds_.erase(rowIds_.begin() + row);
        for (auto &texts : texts_) {
            texts.erase(texts.begin() + row);
        }
    } else {
        rows_.erase(rows_.begin() + row);
    }
    ++changes_;
    if (selectedRow_ > RowCount() - 1) {
        selectedRow_ = RowCount() - 1;
    }
    notify();
}

TGridCell TDataGrid::CellAt(const QString &column, int row)
{
    if (const TGridCustomColumn *found = FindColumn(column)) {
        return CellAt(found->Index(), row);
    }
    qint32 index = 0;
    bool decimal = !column.isEmpty();
    for (const QChar c : column) {
        decimal = decimal && (c.unicode() >= u'0' && c.unicode() <= u'9');
    }
    if (!decimal || !parseDecimal(column, index)) {
        throw EInvalidGridOperation(
            QStringLiteral("Invalid Columnname '%1' for '%2:%3'.").arg(column, QStringLiteral("TDataGrid"), name_));
    }
    return CellAt(index, row);
}

TGridCell TDataGrid::CellAt(int column, int row)
{
    if (column < 0 || column >= ColumnCount()) {
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(column));
    }
    if (row < 0 || row >= RowCount()) {
        raiseIndex(row);
    }
    lastColumn_ = column;
    lastRow_ = row;
    return TGridCell(this, column, compact() ? nullptr : rows_[static_cast<std::size_t>(row)].get(), row);
}

const CellValue &TDataGrid::peek(int column, int row) const
{
    if (compact()) {
        throw std::logic_error("compact rows have no cell values to peek at");
    }
    return rows_.at(static_cast<std::size_t>(row))->cells.at(static_cast<std::size_t>(column));
}

void TDataGrid::SelectCell(int column, int row)
{
    if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount()) {
        return;
    }
    selectedRow_ = row;
    selectedColumn_ = column;
    notify();
}

void TDataGrid::HeaderClick(int column)
{
    if (column < 0 || column >= ColumnCount()) {
        return;
    }
    TGridCustomColumn &c = Column(column);
    if ((c.Options & coCanSort) == 0) {
        return;
    }
    if (c.Sorted()) {
        c.setSortKind(c.SortKind() == skAscending ? skDescending : skAscending);
    } else {
        c.setSorted(true);
    }
}

// ---- Sorting ---------------------------------------------------------------

namespace {

// What a numeric or boolean sort compares a cell by; a text that is no
// number counts as 0.
double sortNumber(const CellValue &v, CellKind kind)
{
    switch (kind) {
    case CellKind::String:
        try {
            return parseNumber(std::get<QString>(v));
        } catch (const EConvertError &) {
            return 0.0;
        }
    case CellKind::Increment:
        return 0.0;
    default:
        return typedNumber(v, kind);
    }
}

bool sortsByNumber(TSortType type)
{
    return type == stBoolean || type == stNumeric;
}

int compareNumbers(double p, double q)
{
    return p < q ? -1 : (p > q ? 1 : 0);
}

int compareValues(const CellValue &x, const CellValue &y, CellKind kind, TSortType type)
{
    const auto textOf = [&](const CellValue &v) -> QString {
        switch (kind) {
        case CellKind::String:
            return std::get<QString>(v);
        case CellKind::Integer:
            return QString::number(std::get<qint32>(v));
        case CellKind::Boolean:
            return std::get<bool>(v) ? QStringLiteral("True") : QStringLiteral("False");
        case CellKind::Float:
            return GeneralNumberText(std::get<double>(v));
        case CellKind::Increment:
            break;
        }
        return {};
    };
    switch (type) {
    case stBoolean:
    case stNumeric:
        return compareNumbers(sortNumber(x, kind), sortNumber(y, kind));
    case stCaseInsensitive:
        return QString::compare(textOf(x), textOf(y), Qt::CaseInsensitive);
    default: {
        // UTF-16 code units compared as unsigned numbers; no locale, no folding.
        if (kind == CellKind::String) {
            return QString::compare(std::get<QString>(x), std::get<QString>(y), Qt::CaseSensitive);
        }
        return QString::compare(textOf(x), textOf(y), Qt::CaseSensitive);
    }
    }
}

} // namespace

int TDataGrid::compareRows(int a, int b, int column, TSortType type)
{
    sortStep();
    const auto c = static_cast<std::size_t>(column);
    const CellKind kind = columns_[c]->kind();
    if (kind == CellKind::Increment) {
        return 0; // both read the same last addressed row
    }
    if (!sortNumbers_.empty()) {
        return compareNumbers(sortNumbers_[static_cast<std::size_t>(a)], sortNumbers_[static_cast<std::size_t>(b)]);
    }
    if (compact()) {
        const StoredText &x = texts_[c][static_cast<std::size_t>(a)];
        const StoredText &y = texts_[c][static_cast<std::size_t>(b)];
        if (type == stBoolean || type == stNumeric || type == stCaseInsensitive) {
            return compareValues(x.text(), y.text(), kind, type);
        }
        return x.compare(y);
    }
    return compareValues(rows_[static_cast<std::size_t>(a)]->cells[c], rows_[static_cast<std::size_t>(b)]->cells[c],
                         kind, type);
}

void TDataGrid::swapRows(int a, int b)
{
    sortStep();
    const auto x = static_cast<std::size_t>(a);
    const auto y = static_cast<std::size_t>(b);
    if (!sortNumbers_.empty()) {
        std::swap(sortNumbers_[x], sortNumbers_[y]);
    }
    if (compact()) {
        std::swap(rowIds_[x], rowIds_[y]);
        for (auto &texts : texts_) {
            std::swap(texts[x], texts[y]);
        }
    } else {
        std::swap(rows_[x], rows_[y]);
    }
}

// What identifies a row record wherever the row moves.
std::uintptr_t TDataGrid::rowKey(int row) const
{
    const auto r = static_cast<std::size_t>(row);
    return compact() ? rowIds_[r] : reinterpret_cast<std::uintptr_t>(rows_[r].get());
}

// Counts one step of a sort and lets whileSorting run every few thousand
// steps; a change of the table meanwhile ends the sort.
void TDataGrid::sortStep()
{
    if (!whileSorting || ++stepsSincePump_ < kStepsPerPump) {
        return;
    }
    stepsSincePump_ = 0;
    const std::uint64_t before = changes_;
    const std::function<void()> pump = whileSorting;
    pump();
    if (changes_ != before) {
        throw TableChangedWhileSorting();
    }
}

std::vector<double> TDataGrid::rowNumbers(int column) const
{
    const auto c = static_cast<std::size_t>(column);
    const CellKind kind = columns_[c]->kind();
    const auto n = static_cast<std::size_t>(RowCount());
    std::vector<double> numbers(n);
    for (std::size_t r = 0; r < n; ++r) {
        numbers[r] = compact() ? sortNumber(texts_[c][r].text(), kind) : sortNumber(rows_[r]->cells[c], kind);
    }
    return numbers;
}

void TDataGrid::sortByColumn(int column, TSortType type, TSortKind kind, bool forceFull)
{
    const std::optional<std::uintptr_t> selected =
        selectedRow_ >= 0 ? std::optional<std::uintptr_t>(rowKey(selectedRow_)) : std::nullopt;
    const int n = RowCount();
    stepsSincePump_ = 0;
    try {
        if (memorySorted_ && memoryColumn_ == column && memoryKind_ != kind && !forceFull) {
            for (int i = 0; i < n / 2; ++i) {
                swapRows(i, n - 1 - i);
            }
        } else {
            int values = column;
            if (const QString &by = columns_[static_cast<std::size_t>(column)]->SortBy; !by.isEmpty()) {
                if (const TGridCustomColumn *source = FindColumn(by)) {
                    values = source->Index();
                    type = source->SortType;
                }
            }
            // A number is read from its text once per row, not at every
            // comparison; the order and the draws are those of comparing texts.
            const auto forget = qScopeGuard([this] { sortNumbers_.clear(); });
            if (sortsByNumber(type) && columns_[static_cast<std::size_t>(values)]->kind() != CellKind::Increment) {
                sortNumbers_ = rowNumbers(values);
            }
            quickSort(0, n - 1, values, type, kind);
        }
    } catch (const TableChangedWhileSorting &) {
        return;
    }
    memoryColumn_ = column;
    memoryKind_ = kind;
    memorySorted_ = true;
    if (selected) {
        for (int r = 0; r < n; ++r) {
            if (rowKey(r) == *selected) {
                selectedRow_ = r;
                break;
            }
        }
    }
    notify();
}

void TDataGrid::quickSort(int left, int right, int column, TSortType type, TSortKind kind)
{
    // Hoare partitioning around a drawn pivot row; the pivot is the row itself,
    // so it moves with its row through the exchanges.
    while (right > left) {
        const auto drawn = static_cast<int>(RandomBelow(static_cast<std::uint32_t>(right - left)));
        int pivot = left + 1 + drawn;
        int i = left - 1;
        int j = right + 1;
        const auto exchange = [&](int a, int b) {
            swapRows(a, b);
            if (pivot == a) {
                pivot = b;
            } else if (pivot == b) {
                pivot = a;
            }
        };
        for (;;) {
            if (kind == skAscending) {
                do {
                    ++i;
                } while (compareRows(i, pivot, column, type) < 0);
                do {
                    --j;
                } while (compareRows(j, pivot, column, type) > 0);
            } else {
                do {
                    ++i;
                } while (compareRows(i, pivot, column, type) > 0);
                do {
                    --j;
                } while (compareRows(j, pivot, column, type) < 0);
            }
            if (i != j) {
                exchange(i, j);
            }
            if (i >= j) {
                break;
            }
        }
        if (i != j) {
            exchange(i, j);
        }
        // Sort the left part first, as the draws must come in that order; the
        // right part continues in this loop.
        quickSort(left, i - 1, column, type, kind);
        left = i;
    }
}

} // namespace quillmere
