#include "support/threads.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace quillmere::test {

int threadsNamed(const std::string &name)
{
    int count = 0;
    std::error_code error;
    for (const auto &task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream comm(task.path() / "comm");
        std::string line;
        // A thread that ended while the list was read has no name any more.
        if (std::getline(comm, line) && line == name) {
            ++count;
        }
    }
    return count;
}

int threadsNamedAfterJoin(const std::string &name)
{
    int count = threadsNamed(name);
    for (int wait = 0; count > 0 && wait < 100; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        count = threadsNamed(name);
    }
    return count;
}

} // namespace quillmere::test
