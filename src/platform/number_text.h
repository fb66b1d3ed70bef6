#pragma once

#include <QString>

namespace quillmere {

// The general number text: the shortest fixed or scientific form with at most
// 15 significant digits, trailing zeros dropped and the locale's decimal
// separator only where a fraction remains. Fixed notation is used for values
// with at most 15 digits before the point that are not below 0.00001.
QString GeneralNumberText(double value);

} // namespace quillmere
