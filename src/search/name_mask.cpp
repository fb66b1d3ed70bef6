#include "search/name_mask.h"

#include "imaging/picture_formats.h"

#include <QList>
#include <algorithm>
#include <cstddef>

namespace quillmere {

namespace {

constexpr char32_t foldAscii(char32_t c)
{
    return (c >= U'A' && c <= U'Z') ? c + (U'a' - U'A') : c;
}

// Decodes a name into characters: valid UTF-8 sequences become their code
// point, every other byte becomes U+DC00 + byte, so no two names collapse.
void decodeName(std::string_view name, std::vector<char32_t> &out)
{
    out.clear();
    std::size_t i = 0;
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(name[k]); };
    while (i < name.size()) {
        const unsigned char b0 = at(i);
        std::size_t length = 0;
        char32_t value = 0;
        char32_t minimum = 0;
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            length = 2, value = b0 & 0x1F, minimum = 0x80;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            length = 3, value = b0 & 0x0F, minimum = 0x800;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            length = 4, value = b0 & 0x07, minimum = 0x10000;
        }
        bool valid = length != 0 && i + length <= name.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (at(i + k) & 0xC0) == 0x80;
            value = (value << 6) | (at(i + k) & 0x3F);
        }
        valid = valid && value >= minimum && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
        if (valid) {
            out.push_back(value);
            i += length;
        } else {
            out.push_back(0xDC00 + b0);
            ++i;
        }
    }
}

// Wildcard match with a single backtrack point: linear in practice and never
// exponential, whatever the number of stars.
template <class Char>
bool wildcardMatch(const Char *name, std::size_t nameLength, const std::vector<char32_t> &mask)
{
    std::size_t n = 0;
    std::size_t m = 0;
    std::size_t starMask = std::size_t(-1);
    std::size_t starName = 0;
    while (n < nameLength) {
        if (m < mask.size() && mask[m] == U'*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size()
                   && (mask[m] == U'?' || foldAscii(static_cast<char32_t>(name[n])) == foldAscii(mask[m]))) {
            ++n;
            ++m;
        } else if (starMask != std::size_t(-1)) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == U'*') {
        ++m;
    }
    return m == mask.size();
}

} // namespace

NameMask::NameMask(const QString &mask)
{
    for (const uint c : mask.toUcs4()) {
        mask_.push_back(c);
        if (c >= 0x80 || c == U'?') {
            byteWise_ = false;
        }
    }
}

bool NameMask::matches(std::string_view name) const
{
    if (byteWise_) {
        // ASCII never occurs inside a multi-byte UTF-8 sequence, so an ASCII
        // mask without "?" gives the same answer on the raw bytes.
        return wildcardMatch(reinterpret_cast<const unsigned char *>(name.data()), name.size(), mask_);
    }
    thread_local std::vector<char32_t> decoded;
    decodeName(name, decoded);
    return wildcardMatch(decoded.data(), decoded.size(), mask_);
}

bool NameMatchesMask(std::string_view name, const QString &mask)
{
    return NameMask(mask).matches(name);
}

FileMask::FileMask(const QString &mask)
{
    QStringList patterns = PictureMaskPatterns(mask);
    if (patterns.isEmpty()) {
        patterns.append(mask);
    }
    for (const QString &pattern : patterns) {
        patterns_.emplace_back(pattern);
    }
}

bool FileMask::matches(std::string_view name) const
{
    return std::any_of(patterns_.begin(), patterns_.end(), [&](const NameMask &pattern) { return pattern.matches(name); });
}

} // namespace quillmere
