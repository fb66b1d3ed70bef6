#pragma once

#include <cstdint>
#include <string>

namespace quillmere::test {

// Deterministic bytes that differ from block to block and from seed to seed.
inline std::string deterministicBytes(std::size_t size, unsigned seed)
{
    std::string out(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto &c : out) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return out;
}

} // namespace quillmere::test
