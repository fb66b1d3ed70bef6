#include "removal/recycle_bin.h"

// GIO names a struct member "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")
#include <sys/stat.h>

namespace quillmere {

bool RecycleFile(const std::string &path, const std::optional<SeenFile> &expected)
{
    if (path.empty() || path.find('\0') != std::string::npos) {
        return false;
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    if (expected && SeenFileFromStat(info) != *expected) {
        return false;
    }
    GFile *file = g_file_new_for_path(path.c_str());
    GError *error = nullptr;
    const gboolean trashed = g_file_trash(file, nullptr, &error);
    if (error != nullptr) {
        g_error_free(error);
    }
    g_object_unref(file);
    return trashed != FALSE;
}

} // namespace quillmere
