#include "app/still_progress.h"

#include "platform/errors.h"

#include <QProgressBar>
#include <algorithm>

namespace quillmere {

namespace {
constexpr char kMaximum[] = "quillmereMaximum";
}

void CheckProgressMaximum(int maximum)
{
    if (maximum < 0) {
        throw EInvalidOperation(std::string("Property value out of range"));
    }
}

void SetProgressMaximum(QProgressBar &bar, int maximum)
{
    CheckProgressMaximum(maximum);
    bar.setProperty(kMaximum, maximum);
    bar.setRange(0, std::max(maximum, 1));
    bar.setValue(std::min(bar.value(), bar.maximum()));
}

void SetProgressPosition(QProgressBar &bar, int position)
{
    const int maximum = bar.property(kMaximum).isValid() ? bar.property(kMaximum).toInt() : bar.maximum();
    const int shown = maximum == 0 ? (position > 0 ? 1 : 0) : std::clamp(position, 0, maximum);
    bar.setValue(shown);
}

} // namespace quillmere
