#pragma once

class QProgressBar;

namespace quillmere {

// A progress bar driven by a maximum and positions as the search and the
// removal give them. Qt draws a moving "busy" bar for an empty range and
// ignores positions outside the range; here a maximum of 0 gives a still
// bar, empty at position 0 and full past it, and a position past the
// maximum fills the bar.
void SetProgressMaximum(QProgressBar &bar, int maximum);
// Raises as SetProgressMaximum does for a maximum the bar refuses.
void CheckProgressMaximum(int maximum);
void SetProgressPosition(QProgressBar &bar, int position);

} // namespace quillmere
