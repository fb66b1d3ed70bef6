#pragma once

#include <string>

namespace quillmere {

// A path as a JSON string, quotes included. Valid UTF-8 is written as it is,
// quotes, backslashes and control characters with JSON's escapes, and each
// byte that is not part of valid UTF-8 as the escape \udcXX (XX its value):
// the lone surrogate that decoding with surrogate escapes turns back into that
// byte, so every name, whatever its bytes, can be recovered exactly.
std::string JsonPathString(const std::string &path);

} // namespace quillmere
