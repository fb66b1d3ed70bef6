#pragma once

#include <cstdint>

namespace quillmere {

// The run/stop flag through which the Stop buttons reach a running search:
// 1 means no search may run (or a stop is requested), 0 that one may run.
// Only the user-interface thread touches it.
inline std::uint8_t StopFlag = 1;

} // namespace quillmere
