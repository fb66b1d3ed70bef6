#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillmere {

// A text kept in a TextStore: one pointer to its record, so a table of a
// million rows holds each of its texts in a few bytes beyond the text itself.
// The default value is the empty text. A StoredText stays readable for as
// long as its store lives.
class StoredText {
public:
    StoredText() = default;

    bool isEmpty() const { return record_ == nullptr; }
    // The text as a table cell gives it.
    QString text() const;
    // The path bytes behind the text: the exact bytes of a stored path, else
    // the text encoded back as a path cell's text is (textToPath).
    std::string path() const;
    // Compares the two texts as sequences of 16-bit code units taken as
    // unsigned numbers, the shorter first when one begins the other: the
    // order of QString::compare with Qt::CaseSensitive. Texts of single-byte
    // characters are compared without being widened.
    int compare(const StoredText &other) const;
    // The same record: equal texts for sure, without reading them.
    bool sameRecord(const StoredText &other) const { return record_ == other.record_; }

private:
    friend class TextStore;
    explicit StoredText(const unsigned char *record)
        : record_(record)
    {
    }
    const unsigned char *record_ = nullptr;
};

// An append-only store of texts in large chunks. Nothing stored moves or is
// freed before the store itself, so StoredText handles into it stay valid;
// whoever keeps handles keeps the store alive through a shared pointer.
class TextStore {
public:
    TextStore() = default;
    TextStore(const TextStore &) = delete;
    TextStore &operator=(const TextStore &) = delete;

    // A cell text: one byte per character when every character fits in one,
    // else the 16-bit code units as they are.
    StoredText add(const QString &text);
    // A path as its bytes; its text is the path's cell text (pathToText).
    StoredText addPath(std::string_view path);

    // Bytes taken by the chunks.
    std::size_t capacity() const { return capacity_; }

private:
    unsigned char *allocate(std::size_t bytes);

    std::vector<std::unique_ptr<unsigned char[]>> chunks_;
    std::size_t used_ = 0;     // bytes used in the last chunk
    std::size_t room_ = 0;     // bytes of the last chunk
    std::size_t capacity_ = 0; // bytes of all chunks
};

// The stores whose texts a table's cells or a stage's copies refer to.
using TextStores = std::vector<std::shared_ptr<const TextStore>>;

// Adds the stores of `more` that `stores` does not hold yet.
void KeepTextStores(TextStores &stores, const TextStores &more);

} // namespace quillmere
