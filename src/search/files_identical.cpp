#include "search/files_identical.h"

#include "platform/errors.h"
#include "platform/file_measure.h"
#include "platform/path_text.h"
#include "platform/unique_fd.h"

#include <cstring>
#include <unistd.h>
#include <vector>

namespace quillmere {

namespace {

constexpr std::int64_t kBlock = 65536;

// Owns one open file; closing follows the reverse order of opening.
class OpenFile {
public:
    explicit OpenFile(const std::string &path)
        : fd_(OpenRegularFileForReading(path, -1, size_))
    {
        if (!fd_.valid()) {
            throw EFOpenError(QStringLiteral("Cannot open file \"%1\"").arg(pathToText(path)));
        }
    }

    int fd() const { return fd_.get(); }
    std::int64_t size() const { return size_; }

private:
    std::int64_t size_ = 0;
    UniqueFd fd_;
};

} // namespace

bool FilesIdentical(const std::string &a, const std::string &b)
{
    const OpenFile first(a);
    const OpenFile second(b);
    if (first.size() != second.size()) {
        return false;
    }
    std::vector<unsigned char> bufferA(kBlock);
    std::vector<unsigned char> bufferB(kBlock);
    std::int64_t position = 0;
    while (position < first.size()) {
        const std::int64_t gotA = ReadFully(first.fd(), bufferA.data(), kBlock, position);
        const std::int64_t gotB = ReadFully(second.fd(), bufferB.data(), kBlock, position);
        if (gotA <= 0 || gotA != gotB) {
            return false;
        }
        if (std::memcmp(bufferA.data(), bufferB.data(), static_cast<std::size_t>(gotA)) != 0) {
            return false;
        }
        position += gotA;
    }
    return true;
}

} // namespace quillmere
