#include "imaging/compact_memo.h"

#include "imaging/compact_picture.h"

#include <algorithm>

namespace quillmere {

std::string CompactMemo::compactOf(const TImageList::PreparedEntry &entry)
{
    {
        const std::lock_guard lock(mutex_);
        const auto same = std::find_if(kept_.rbegin(), kept_.rend(), [&](const Kept &kept) {
            return kept.hash == entry.hash && kept.pixels == entry.pixels;
        });
        if (same != kept_.rend()) {
            return same->compact;
        }
    }
    // Compressed outside the lock: the other threads go on meanwhile, and
    // at worst two of them compress one picture.
    std::string compact = CompactPicture(entry.pixels);
    if (!compact.empty()) {
        const std::lock_guard lock(mutex_);
        if (kept_.size() >= kKept) {
            kept_.pop_front();
        }
        kept_.push_back(Kept{entry.hash, entry.pixels, compact});
    }
    return compact;
}

} // namespace quillmere
