#pragma once

#include <string>

namespace quillmere::test {

// How many threads of this process carry name (as /proc shows it).
int threadsNamed(const std::string &name);

} // namespace quillmere::test
