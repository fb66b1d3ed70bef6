#include "platform/open_file_limit.h"

#include <sys/resource.h>

namespace quillmere {

bool RaiseOpenFileLimit() noexcept
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return false;
    }
    if (limit.rlim_cur == limit.rlim_max) {
        return true;
    }
    // Nothing here waits with select(), whose descriptor sets end at 1024;
    // Qt and GIO wait with poll().
    limit.rlim_cur = limit.rlim_max;
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

} // namespace quillmere
