#pragma once

#include "table/data_grid.h"

#include <memory>

namespace quillmere {

class TImageList;

// The program's three tables with their columns: the visible result table and
// the two hidden working tables of the search.
std::unique_ptr<TDataGrid> makeResultGrid(TImageList *thumbnails); // DataGrid1
std::unique_ptr<TDataGrid> makeCandidateGrid();                     // DataGrid2
std::unique_ptr<TDataGrid> makePairGrid();                          // DataGrid3

// Column indices of the result table.
enum ResultColumn : int {
    colNumber = 0,
    colDest = 1,
    colSize = 2,
    colRes = 3,
    colDate = 4,
    colPriv = 5,
    colDel = 6,
    colGroup = 7,
};

} // namespace quillmere
