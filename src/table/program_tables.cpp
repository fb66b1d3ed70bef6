#include "table/program_tables.h"

namespace quillmere {

std::unique_ptr<TDataGrid> makeResultGrid(TImageList *thumbnails)
{
    auto grid = std::make_unique<TDataGrid>(QStringLiteral("DataGrid1"),
                                            goGrid | goHeader | goSelectFullRow | goUseDefaultValues, 81);

    auto &number = grid->addColumn<TGridIncrementColumn>(QStringLiteral("GridNumberColumn1"));
    number.Header = QStringLiteral("#");
    number.Width = 27;
    number.Alignment = TAlignment::Center;
    number.DefaultValue = QStringLiteral("0");

    auto &dest = grid->addColumn<TGridTextColumn>(QStringLiteral("Dest"));
    dest.Header = QStringLiteral("Destanation");
    dest.Width = 242;

    auto &size = grid->addColumn<TGridTextColumn>(QStringLiteral("Size"));
    size.Header = QStringLiteral("Size");
    size.Width = 74;
    size.setSortedAtCreation();
    // The texts ("14.75 KB") would sort 146.48 KB between 14.75 KB and
    // 16.73 KB; the rows sort by the bytes behind them.
    size.SortBy = QStringLiteral("Bytes");

    auto &res = grid->addColumn<TGridTextColumn>(QStringLiteral("Res"));
    res.Header = QStringLiteral("Resolution");
    res.Width = 93;
    res.Alignment = TAlignment::Center;
    res.HeaderAlignment = TAlignment::Center;

    auto &date = grid->addColumn<TGridTextColumn>(QStringLiteral("Date"));
    date.Header = QStringLiteral("Date creating");
    date.Width = 81;

    auto &priv = grid->addColumn<TGridImageColumn>(QStringLiteral("Priv"));
    priv.Header = QStringLiteral("Priview");
    priv.Width = 138;
    priv.Alignment = TAlignment::Center;
    priv.Images = thumbnails;

    auto &del = grid->addColumn<TGridCheckBoxColumn>(QStringLiteral("Del"));
    del.Header = QStringLiteral("Delete");
    del.Alignment = TAlignment::Center;
    del.DefaultValue = QStringLiteral("False");
    del.Options = coCanClick | coCanInput | coCanSort | coDontHighlight | coEditing | coPublicUsing;

    auto &group = grid->addColumn<TGridNumberColumn>(QStringLiteral("Group"));
    group.Visible = false;

    // How alike a similar picture is to its set's first, in percent. Shown
    // only for a search of similar pictures; the columns before it keep
    // their places.
    auto &similar = grid->addColumn<TGridNumberColumn>(QStringLiteral("Similar"));
    similar.Header = QStringLiteral("Similarity");
    similar.Width = 70;
    similar.Alignment = TAlignment::Right;
    similar.Suffix = QStringLiteral("%");
    similar.DefaultValue.clear(); // new rows hold 0 without a write of their own
    similar.Visible = false;

    // The file's length in bytes, which the Size column sorts by.
    auto &bytes = grid->addColumn<TGridTextColumn>(QStringLiteral("Bytes"));
    bytes.SortType = stNumeric;
    bytes.Visible = false;
    return grid;
}

std::unique_ptr<TDataGrid> makeCandidateGrid()
{
    auto grid = std::make_unique<TDataGrid>(QStringLiteral("DataGrid2"), goHeader, 16, TRowStorage::Compact);
    grid->addColumn<TGridTextColumn>(QStringLiteral("dest2"));
    grid->addColumn<TGridTextColumn>(QStringLiteral("size2"));
    return grid;
}

std::unique_ptr<TDataGrid> makePairGrid()
{
    auto grid = std::make_unique<TDataGrid>(QStringLiteral("DataGrid3"), goHeader, 16, TRowStorage::Compact);
    grid->addColumn<TGridTextColumn>(QStringLiteral("GridTextColumn1"));
    grid->addColumn<TGridTextColumn>(QStringLiteral("GridTextColumn2"));
    return grid;
}

} // namespace quillmere
