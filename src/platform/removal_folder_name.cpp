#include "platform/removal_folder_name.h"

#include <cerrno>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere {

namespace {

constexpr std::size_t kRandomBytes = 8;

bool isLowerHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

} // namespace

std::string NewRemovalFolderName()
{
    unsigned char random[kRandomBytes] {};
    ssize_t got = 0;
    do {
        got = ::getrandom(random, sizeof random, 0);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(sizeof random)) {
        return {};
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string name(kRemovalFolderPrefix);
    for (const unsigned char byte : random) {
        name += kDigits[byte >> 4];
        name += kDigits[byte & 0xF];
    }
    return name;
}

bool IsRemovalFolderName(std::string_view name)
{
    if (name.size() != kRemovalFolderPrefix.size() + 2 * kRandomBytes || !name.starts_with(kRemovalFolderPrefix)) {
        return false;
    }
    for (const char c : name.substr(kRemovalFolderPrefix.size())) {
        if (!isLowerHex(c)) {
            return false;
        }
    }
    return true;
}

bool IsOwnRemovalFolder(mode_t mode, uid_t owner)
{
    return S_ISDIR(mode) && (mode & 07777) == 0700 && owner == ::geteuid();
}

} // namespace quillmere
