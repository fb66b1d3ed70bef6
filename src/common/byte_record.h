#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace quillmere {

// A flat record of plain values and byte strings, as values are kept in the
// cache on disk: written in this machine's byte order (the cache is the
// user's own and never leaves the machine), read back with every length
// checked, so that damaged bytes give no value rather than a wrong one.
class RecordWriter {
public:
    template <class T>
    RecordWriter &put(const T &value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes_.append(reinterpret_cast<const char *>(&value), sizeof value);
        return *this;
    }
    RecordWriter &putBytes(std::string_view bytes)
    {
        put(static_cast<std::uint32_t>(bytes.size()));
        bytes_.append(bytes);
        return *this;
    }
    std::string take() { return std::move(bytes_); }

private:
    std::string bytes_;
};

class RecordReader {
public:
    explicit RecordReader(std::string_view bytes)
        : rest_(bytes)
    {
    }
    template <class T>
    std::optional<T> get()
    {
        static_assert(std::is_trivially_copyable_v<T>);
        if (rest_.size() < sizeof(T)) {
            return std::nullopt;
        }
        T value;
        std::memcpy(&value, rest_.data(), sizeof value);
        rest_.remove_prefix(sizeof value);
        return value;
    }
    std::optional<std::string_view> getBytes()
    {
        const std::optional<std::uint32_t> length = get<std::uint32_t>();
        if (!length || rest_.size() < *length) {
            return std::nullopt;
        }
        const std::string_view bytes = rest_.substr(0, *length);
        rest_.remove_prefix(*length);
        return bytes;
    }
    // Whether every byte was read: a longer record is no record of this kind.
    bool atEnd() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

} // namespace quillmere
