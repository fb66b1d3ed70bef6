#include "imaging/decode_cancel.h"

namespace quillmere {

namespace {
thread_local const std::atomic<bool> *currentFlag = nullptr;
} // namespace

DecodeCancelScope::DecodeCancelScope(const std::atomic<bool> &cancelled)
    : previous_(currentFlag)
{
    currentFlag = &cancelled;
}

DecodeCancelScope::~DecodeCancelScope()
{
    currentFlag = previous_;
}

bool decodeCancelled()
{
    return currentFlag != nullptr && currentFlag->load(std::memory_order_relaxed);
}

} // namespace quillmere
