#include "common/random_generator.h"

namespace quillmere {

std::uint32_t &RandomState()
{
    static std::uint32_t state = 0;
    return state;
}

std::uint32_t RandomBelow(std::uint32_t n)
{
    std::uint32_t &state = RandomState();
    state = state * 134775813u + 1u; // wraps modulo 2^32
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(state) * n) >> 32);
}

} // namespace quillmere
