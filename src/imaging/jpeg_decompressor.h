#pragma once

// The libjpeg decompressor over bytes in memory that the JPEG codec drives.
// Only the codec includes this; it needs libjpeg's own types.

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace quillmere {

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

struct JpegSourceManager {
    jpeg_source_mgr pub;
    const JOCTET *data;
    std::size_t size;
    std::size_t position;
    bool started;
};

// Counts the memory libjpeg asks its memory manager for and refuses, with
// JERR_OUT_OF_MEMORY, whatever would take it beyond the limit. The library
// frees only whole pools, so the count drops when a pool goes.
struct JpegMemoryMeter {
    std::uint64_t limit = 0;
    std::uint64_t inPool[JPOOL_NUMPOOLS] = {};
    std::uint64_t peak = 0;
    // The memory manager's own functions, called after counting.
    decltype(jpeg_memory_mgr::alloc_small) allocSmall = nullptr;
    decltype(jpeg_memory_mgr::alloc_large) allocLarge = nullptr;
    decltype(jpeg_memory_mgr::alloc_sarray) allocSampleArray = nullptr;
    decltype(jpeg_memory_mgr::alloc_barray) allocBlockArray = nullptr;
    decltype(jpeg_memory_mgr::request_virt_sarray) requestVirtualSamples = nullptr;
    decltype(jpeg_memory_mgr::request_virt_barray) requestVirtualBlocks = nullptr;
    decltype(jpeg_memory_mgr::free_pool) freePool = nullptr;
};

// One decompressor. The object stays where it was made (the library keeps
// pointers into it) and releases the library's memory when it goes, whether
// or not the decoding got through.
//
// Every function that calls into the library owns the setjmp for its calls:
// a fatal error jumps back into it and it returns false. Such functions hold
// nothing with a destructor, so the jump skips no C++ cleanup; their callers
// raise EJPEG once back in ordinary C++ frames.
class JpegDecompressor {
public:
    JpegDecompressor(const std::uint8_t *data, std::size_t size);
    ~JpegDecompressor();
    JpegDecompressor(const JpegDecompressor &) = delete;
    JpegDecompressor &operator=(const JpegDecompressor &) = delete;

    // To be called inside a setjmp'd function: creates the library's
    // decompressor and attaches the source, the progress monitor and the
    // memory meter, limited to memoryLimit bytes.
    void create(std::uint64_t memoryLimit);
    // Changes the memory limit (once the output's own size is known).
    void setMemoryLimit(std::uint64_t bytes);

    [[noreturn]] void raise() const;

    std::uint64_t peakMemory() const { return meter.peak; }

    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
    JpegSourceManager source;
    jpeg_progress_mgr progress;
    JpegMemoryMeter meter;
};

} // namespace quillmere
