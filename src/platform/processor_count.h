#pragma once

namespace quillmere {

// The processors this process may run on: the affinity mask's count, so a
// program started under taskset or in a limited container counts only what
// it was given. At least 1.
int UsableProcessorCount();

} // namespace quillmere
