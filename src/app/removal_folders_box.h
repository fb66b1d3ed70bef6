#pragma once

#include "removal/leftovers.h"

#include <vector>

class QMessageBox;
class QWidget;

namespace quillmere {

// The information box that lists what a search did with the files that
// interrupted removals left behind, one line per file.
QMessageBox *MakeRemovalFoldersBox(QWidget *parent, const std::vector<LeftoverResult> &results);

// Shows it over the window without waiting for it; it goes when closed.
void ShowRemovalFoldersBox(QWidget *parent, const std::vector<LeftoverResult> &results);

} // namespace quillmere
