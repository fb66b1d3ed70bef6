#pragma once

#include <cstdint>

namespace quillmere {

// The process-wide pseudo-random generator. Its state starts at 0 and is never
// seeded, so every program start yields the same sequence. The table sort's
// pivots and the overwrite's bytes draw from it in the order of their calls.
std::uint32_t RandomBelow(std::uint32_t n);

// The state itself, for tests that predict or reset the sequence.
std::uint32_t &RandomState();

} // namespace quillmere
