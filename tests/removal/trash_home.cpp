#include "trash_home.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

// GIO names a struct member "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace fs = std::filesystem;

namespace quillmere::test {

namespace {
// Set up during static initialisation, before main() and before any GLib call.
[[maybe_unused]] const bool homeReady = (TrashHome::instance(), true);
} // namespace

TrashHome::TrashHome()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/quillmere-home-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary home");
    }
    home_ = buffer.data();
    fs::create_directories(dataHome());
    fs::create_directories(home_ + "/tmp");
    setenv("HOME", home_.c_str(), 1);
    setenv("XDG_DATA_HOME", dataHome().c_str(), 1);
    setenv("TMPDIR", (home_ + "/tmp").c_str(), 1);
}

TrashHome::~TrashHome()
{
    std::error_code ignored;
    fs::remove_all(home_, ignored);
}

const TrashHome &TrashHome::instance()
{
    static const TrashHome home;
    return home;
}

bool TrashHome::usedByGio() const
{
    return dataHome() == g_get_user_data_dir() && home_ == g_get_home_dir();
}

void TrashHome::empty() const
{
    std::error_code ignored;
    fs::remove_all(dataHome() + "/Trash", ignored);
}

std::optional<std::string> TrashHome::trashedCopyOf(const std::string &originalPath) const
{
    const fs::path info = dataHome() + "/Trash/info";
    std::error_code error;
    for (const fs::directory_entry &entry : fs::directory_iterator(info, error)) {
        std::ifstream in(entry.path());
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("Path=", 0) != 0) {
                continue;
            }
            char *path = g_uri_unescape_string(line.c_str() + 5, nullptr);
            const bool same = path != nullptr && originalPath == path;
            g_free(path);
            if (same) {
                const std::string name = entry.path().filename().native();
                return dataHome() + "/Trash/files/" + name.substr(0, name.size() - std::string(".trashinfo").size());
            }
        }
    }
    return std::nullopt;
}

int TrashHome::entryCount() const
{
    std::error_code error;
    int count = 0;
    for ([[maybe_unused]] const fs::directory_entry &entry : fs::directory_iterator(dataHome() + "/Trash/files", error)) {
        ++count;
    }
    return count;
}

} // namespace quillmere::test
