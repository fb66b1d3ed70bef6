#pragma once

#include <string>

namespace quillmere {

// The search masks of the picture formats, each in double quotes, in their
// order, then the word all (every picture format): with separator between them and lastSeparator before the last one
// (", " and " or " make an English list). markDefault adds " (the default)"
// after the first.
std::string QuotedMasks(const std::string &separator, const std::string &lastSeparator, bool markDefault = false);

} // namespace quillmere
