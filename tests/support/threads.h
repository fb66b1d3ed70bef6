#pragma once

#include <string>

namespace quillmere::test {

// How many threads of this process carry name (as /proc shows it).
int threadsNamed(const std::string &name);

// The same once joined threads are gone: a joined thread's /proc entry can
// outlast the join by a moment, so this waits up to a second for the count
// to fall to 0. A thread that is still running stays counted.
int threadsNamedAfterJoin(const std::string &name);

} // namespace quillmere::test
