#pragma once

#include <QString>
#include <string_view>
#include <vector>

namespace quillmere {

// A file-name mask such as "*.dat": "*" matches any run of characters (the
// empty one too), "?" exactly one character, everything else itself with
// ASCII letters compared regardless of case. The whole name must match.
// Names are byte strings; a byte that is not part of valid UTF-8 counts as
// one character.
class NameMask {
public:
    explicit NameMask(const QString &mask);
    bool matches(std::string_view name) const;

private:
    std::vector<char32_t> mask_;
    bool byteWise_ = true; // ASCII without "?": bytes can be matched as they are
};

bool NameMatchesMask(std::string_view name, const QString &mask);

// The names a search lists for its mask: an entry of the mask list lists
// the names of every pattern it stands for (PictureMaskPatterns: "*.jpg"
// also lists .jpeg and .jpe names, "All pictures" every picture format's);
// any other text is one wildcard mask.
class FileMask {
public:
    explicit FileMask(const QString &mask);
    bool matches(std::string_view name) const;

private:
    std::vector<NameMask> patterns_;
};

} // namespace quillmere
