#include "table/text_store.h"

#include "platform/path_text.h"

#include <QStringView>
#include <algorithm>
#include <cstring>

namespace quillmere {

namespace {

// A record: the length (characters, or bytes for a path) as 4 bytes, the
// form, the flags, then the characters. Records start at even addresses, so
// 16-bit characters are aligned.
constexpr std::size_t kHeader = 6;
constexpr std::size_t kChunk = std::size_t(1) << 20;

enum Form : unsigned char {
    OneByte = 0,  // Latin-1 characters, one byte each
    TwoBytes = 1, // UTF-16 code units
    PathBytes = 2 // path bytes that are not all ASCII; the text is decoded on reading
};
constexpr unsigned char kAscii = 1; // every byte below 0x80

std::uint32_t lengthOf(const unsigned char *record)
{
    std::uint32_t length = 0;
    std::memcpy(&length, record, sizeof length);
    return length;
}

Form formOf(const unsigned char *record)
{
    return static_cast<Form>(record[4]);
}

bool asciiOnly(const unsigned char *record)
{
    return (record[5] & kAscii) != 0;
}

const unsigned char *dataOf(const unsigned char *record)
{
    return record + kHeader;
}

QLatin1String latin1Of(const unsigned char *record)
{
    return QLatin1String(reinterpret_cast<const char *>(dataOf(record)), static_cast<qsizetype>(lengthOf(record)));
}

QStringView unitsOf(const unsigned char *record)
{
    return QStringView(reinterpret_cast<const char16_t *>(dataOf(record)), static_cast<qsizetype>(lengthOf(record)));
}

int sign(int value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

} // namespace

QString StoredText::text() const
{
    if (record_ == nullptr) {
        return {};
    }
    switch (formOf(record_)) {
    case OneByte:
        return QString(latin1Of(record_));
    case TwoBytes:
        return unitsOf(record_).toString();
    case PathBytes:
        return pathToText(std::string(reinterpret_cast<const char *>(dataOf(record_)), lengthOf(record_)));
    }
    return {};
}

std::string StoredText::path() const
{
    if (record_ == nullptr) {
        return {};
    }
    if (formOf(record_) == PathBytes || asciiOnly(record_)) {
        return std::string(reinterpret_cast<const char *>(dataOf(record_)), lengthOf(record_));
    }
    return textToPath(text());
}

int StoredText::compare(const StoredText &other) const
{
    if (record_ == other.record_) {
        return 0;
    }
    if (record_ == nullptr || other.record_ == nullptr) {
        return record_ == nullptr ? -1 : 1;
    }
    const Form a = formOf(record_);
    const Form b = formOf(other.record_);
    if (a == OneByte && b == OneByte) {
        const std::uint32_t x = lengthOf(record_);
        const std::uint32_t y = lengthOf(other.record_);
        const int bytes = std::memcmp(dataOf(record_), dataOf(other.record_), std::min(x, y));
        if (bytes != 0) {
            return sign(bytes);
        }
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (a == TwoBytes && b == TwoBytes) {
        return sign(unitsOf(record_).compare(unitsOf(other.record_), Qt::CaseSensitive));
    }
    if (a == TwoBytes && b == OneByte) {
        return sign(unitsOf(record_).compare(latin1Of(other.record_), Qt::CaseSensitive));
    }
    if (a == OneByte && b == TwoBytes) {
        return -sign(unitsOf(other.record_).compare(latin1Of(record_), Qt::CaseSensitive));
    }
    return sign(QString::compare(text(), other.text(), Qt::CaseSensitive));
}

unsigned char *TextStore::allocate(std::size_t bytes)
{
    bytes = (bytes + 1) & ~std::size_t(1);
    if (chunks_.empty() || room_ - used_ < bytes) {
        const std::size_t size = std::max(kChunk, bytes);
        chunks_.emplace_back(new unsigned char[size]);
        room_ = size;
        used_ = 0;
        capacity_ += size;
    }
    unsigned char *at = chunks_.back().get() + used_;
    used_ += bytes;
    return at;
}

StoredText TextStore::add(const QString &text)
{
    if (text.isEmpty()) {
        return {};
    }
    const auto length = static_cast<std::uint32_t>(text.size());
    bool oneByte = true;
    bool ascii = true;
    for (const QChar c : text) {
        oneByte = oneByte && c.unicode() < 0x100;
        ascii = ascii && c.unicode() < 0x80;
    }
    const std::size_t dataBytes = oneByte ? length : std::size_t(length) * 2;
    unsigned char *record = allocate(kHeader + dataBytes);
    std::memcpy(record, &length, sizeof length);
    record[4] = oneByte ? OneByte : TwoBytes;
    record[5] = ascii ? kAscii : 0;
    if (oneByte) {
        for (std::uint32_t i = 0; i < length; ++i) {
            record[kHeader + i] = static_cast<unsigned char>(text.at(i).unicode());
        }
    } else {
        std::memcpy(record + kHeader, text.utf16(), dataBytes);
    }
    return StoredText(record);
}

StoredText TextStore::addPath(std::string_view path)
{
    if (path.empty()) {
        return {};
    }
    const auto length = static_cast<std::uint32_t>(path.size());
    const bool ascii = std::all_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    unsigned char *record = allocate(kHeader + length);
    std::memcpy(record, &length, sizeof length);
    // An ASCII path's text has the same characters, one byte each.
    record[4] = ascii ? OneByte : PathBytes;
    record[5] = ascii ? kAscii : 0;
    std::memcpy(record + kHeader, path.data(), length);
    return StoredText(record);
}

void KeepTextStores(TextStores &stores, const TextStores &more)
{
    for (const auto &store : more) {
        if (std::find(stores.begin(), stores.end(), store) == stores.end()) {
            stores.push_back(store);
        }
    }
}

} // namespace quillmere
