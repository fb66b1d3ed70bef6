#pragma once

#include "imaging/image_list.h"

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

namespace quillmere {

// The compact forms of the list entries compressed last, shared by the
// threads that make thumbnails, so that a picture met again soon is
// compressed once: a search for copies meets every thumbnail at least twice,
// the copies of one set one after the other.
class CompactMemo {
public:
    static constexpr std::size_t kKept = 64;

    // The compact form of a prepared entry's pixels, compressed now or
    // earlier. Empty when it cannot be made (no memory).
    std::string compactOf(const TImageList::PreparedEntry &entry);

private:
    struct Kept {
        std::uint64_t hash;
        QImage pixels;
        std::string compact;
    };
    std::mutex mutex_;
    std::deque<Kept> kept_; // oldest first
};

} // namespace quillmere
