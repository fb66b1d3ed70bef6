#include "removal/recycle_bin.h"

#include "removal/found_file_check.h"

// GIO names a struct member "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace quillmere {

bool TrashFile(const std::string &path)
{
    if (path.empty() || path.find('\0') != std::string::npos) {
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

RemovalResult RecycleFile(const std::string &path, const FoundFile &found)
{
    FoundFileEntry entry;
    if (const auto problem = entry.open(path, found)) {
        return {*problem, {}};
    }
    if (!TrashFile(path)) {
        return {RemovalOutcome::TrashRefused, {}};
    }
    return {};
}

} // namespace quillmere
