#pragma once

#include <atomic>

namespace quillmere {

// Lets a decode that runs ahead on a worker thread end early once nobody
// wants its picture any more (the search stopped or was abandoned). While a
// scope is alive on a thread, decodes on that thread end with an error as
// soon as they see the flag set; elsewhere nothing ever cancels a decode.
class DecodeCancelScope {
public:
    explicit DecodeCancelScope(const std::atomic<bool> &cancelled);
    ~DecodeCancelScope();
    DecodeCancelScope(const DecodeCancelScope &) = delete;
    DecodeCancelScope &operator=(const DecodeCancelScope &) = delete;

private:
    const std::atomic<bool> *previous_;
};

// Whether the decode running on this thread should end now. Decoders ask it
// between rows and between chunks of input, often enough that a cancelled
// picture stops within milliseconds.
bool decodeCancelled();

} // namespace quillmere
