#include "support/threads.h"

#include <filesystem>
#include <fstream>

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

} // namespace quillmere::test
