#pragma once

namespace quillmere {

// Raises this process's soft limit of open descriptors to its hard limit, so
// the listing of a deep tree and the comparison of large sets of files never
// run short of descriptors. Returns false when the limit could not be read or
// changed; the program then carries on with the limit it has.
bool RaiseOpenFileLimit() noexcept;

} // namespace quillmere
