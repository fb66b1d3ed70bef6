#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillmere {

// The component selectors of each scan of a JPEG file, read from the start-
// of-scan markers without decoding anything: a walk over the marker segments
// that steps over each scan's entropy-coded data the way a decoder finds the
// next marker. The walk ends at the end-of-image marker, at the end of the
// data, or once more than `limit` scans are listed.
std::vector<std::vector<int>> listJpegScans(const std::uint8_t *data, std::size_t size, std::size_t limit);

} // namespace quillmere
