#include "imaging/jpeg_decompressor.h"

#include "imaging/decode_cancel.h"
#include "imaging/jpeg_codec.h"
#include "platform/errors.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include <jerror.h>

namespace quillmere {

namespace {

constexpr std::size_t kReadChunk = 4096;
const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

JpegMemoryMeter &meterOf(j_common_ptr cinfo)
{
    return static_cast<JpegDecompressor *>(cinfo->client_data)->meter;
}

// Counts bytes for pool; refuses (the library's out-of-memory error) what
// would go beyond the limit.
void take(j_common_ptr cinfo, int pool, std::uint64_t bytes)
{
    JpegMemoryMeter &meter = meterOf(cinfo);
    std::uint64_t total = 0;
    for (const std::uint64_t inPool : meter.inPool) {
        total += inPool;
    }
    if (bytes > meter.limit || total > meter.limit - bytes) {
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    }
    if (pool >= 0 && pool < JPOOL_NUMPOOLS) {
        meter.inPool[pool] += bytes;
    }
    meter.peak = std::max(meter.peak, total + bytes);
}

std::uint64_t product(std::uint64_t a, std::uint64_t b, std::uint64_t size)
{
    // Dimensions are 32-bit, so two of them and a small size cannot overflow
    // unless both are huge; saturate instead.
    if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a / size) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return a * b * size;
}

} // namespace

// libjpeg's callbacks. A fatal error jumps back to the setjmp of the function
// that made the library call; these functions themselves hold nothing that
// needs cleaning up.
extern "C" {

static void quillmereJpegErrorExit(j_common_ptr cinfo)
{
    JpegErrorManager *error = reinterpret_cast<JpegErrorManager *>(cinfo->err);
    std::longjmp(error->jump, 1);
}

// Warnings and trace messages are dropped, and the library prints nothing.
static void quillmereJpegEmitMessage(j_common_ptr, int) {}
static void quillmereJpegOutputMessage(j_common_ptr) {}

static void quillmereJpegInitSource(j_decompress_ptr) {}
static void quillmereJpegTermSource(j_decompress_ptr) {}

static boolean quillmereJpegFillInput(j_decompress_ptr cinfo)
{
    JpegSourceManager *source = reinterpret_cast<JpegSourceManager *>(cinfo->src);
    if (decodeCancelled()) {
        ERREXIT(cinfo, JERR_NOTIMPL);
    }
    if (source->position >= source->size) {
        if (!source->started) {
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        }
        // The data has run out: an end-of-image marker lets the decoder
        // finish with what it has received.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->pub.next_input_byte = kEndOfImage;
        source->pub.bytes_in_buffer = sizeof kEndOfImage;
        return TRUE;
    }
    const std::size_t chunk = std::min(kReadChunk, source->size - source->position);
    source->pub.next_input_byte = source->data + source->position;
    source->pub.bytes_in_buffer = chunk;
    source->position += chunk;
    source->started = true;
    return TRUE;
}

static void quillmereJpegSkipInput(j_decompress_ptr cinfo, long count)
{
    if (count <= 0) {
        return;
    }
    JpegSourceManager *source = reinterpret_cast<JpegSourceManager *>(cinfo->src);
    std::size_t left = static_cast<std::size_t>(count);
    while (left > source->pub.bytes_in_buffer) {
        left -= source->pub.bytes_in_buffer;
        source->pub.bytes_in_buffer = 0;
        const bool exhausted = source->position >= source->size;
        quillmereJpegFillInput(cinfo);
        if (exhausted) {
            // Nothing is left to skip over; the end marker comes next.
            return;
        }
    }
    source->pub.next_input_byte += left;
    source->pub.bytes_in_buffer -= left;
}

// A backstop for the scan count checked before decoding: a file whose
// markers hide scans from that count still stops here. A decode nobody
// wants any more stops here too.
static void quillmereJpegProgress(j_common_ptr cinfo)
{
    if (decodeCancelled()) {
        ERREXIT(cinfo, JERR_NOTIMPL);
    }
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans) {
        ERREXIT(cinfo, JERR_NOTIMPL);
    }
}

static void *quillmereJpegAllocSmall(j_common_ptr cinfo, int pool, size_t bytes)
{
    take(cinfo, pool, bytes);
    return meterOf(cinfo).allocSmall(cinfo, pool, bytes);
}

static void *quillmereJpegAllocLarge(j_common_ptr cinfo, int pool, size_t bytes)
{
    take(cinfo, pool, bytes);
    return meterOf(cinfo).allocLarge(cinfo, pool, bytes);
}

static JSAMPARRAY quillmereJpegAllocSampleArray(j_common_ptr cinfo, int pool, JDIMENSION samplesPerRow,
                                                JDIMENSION rows)
{
    take(cinfo, pool, product(samplesPerRow, rows, sizeof(JSAMPLE)) + product(rows, 1, sizeof(JSAMPROW)));
    return meterOf(cinfo).allocSampleArray(cinfo, pool, samplesPerRow, rows);
}

static JBLOCKARRAY quillmereJpegAllocBlockArray(j_common_ptr cinfo, int pool, JDIMENSION blocksPerRow,
                                                JDIMENSION rows)
{
    take(cinfo, pool, product(blocksPerRow, rows, sizeof(JBLOCK)) + product(rows, 1, sizeof(JBLOCKROW)));
    return meterOf(cinfo).allocBlockArray(cinfo, pool, blocksPerRow, rows);
}

// Whole-picture buffers are only requested here and allocated later, all at
// once; counting them at the request refuses them before anything is taken.
static jvirt_sarray_ptr quillmereJpegRequestVirtualSamples(j_common_ptr cinfo, int pool, boolean preZero,
                                                           JDIMENSION samplesPerRow, JDIMENSION rows,
                                                           JDIMENSION maxAccess)
{
    take(cinfo, pool, product(samplesPerRow, rows, sizeof(JSAMPLE)));
    return meterOf(cinfo).requestVirtualSamples(cinfo, pool, preZero, samplesPerRow, rows, maxAccess);
}

static jvirt_barray_ptr quillmereJpegRequestVirtualBlocks(j_common_ptr cinfo, int pool, boolean preZero,
                                                          JDIMENSION blocksPerRow, JDIMENSION rows,
                                                          JDIMENSION maxAccess)
{
    take(cinfo, pool, product(blocksPerRow, rows, sizeof(JBLOCK)));
    return meterOf(cinfo).requestVirtualBlocks(cinfo, pool, preZero, blocksPerRow, rows, maxAccess);
}

static void quillmereJpegFreePool(j_common_ptr cinfo, int pool)
{
    JpegMemoryMeter &meter = meterOf(cinfo);
    if (pool >= 0 && pool < JPOOL_NUMPOOLS) {
        meter.inPool[pool] = 0;
    }
    meter.freePool(cinfo, pool);
}

} // extern "C"

JpegDecompressor::JpegDecompressor(const std::uint8_t *data, std::size_t size)
{
    std::memset(&cinfo, 0, sizeof cinfo);
    std::memset(&error, 0, sizeof error);
    jpeg_std_error(&error.pub);
    error.pub.error_exit = quillmereJpegErrorExit;
    error.pub.emit_message = quillmereJpegEmitMessage;
    error.pub.output_message = quillmereJpegOutputMessage;
    cinfo.err = &error.pub;
    cinfo.client_data = this;

    std::memset(&source, 0, sizeof source);
    source.pub.init_source = quillmereJpegInitSource;
    source.pub.fill_input_buffer = quillmereJpegFillInput;
    source.pub.skip_input_data = quillmereJpegSkipInput;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = quillmereJpegTermSource;
    source.data = data;
    source.size = size;

    std::memset(&progress, 0, sizeof progress);
    progress.progress_monitor = quillmereJpegProgress;
}

JpegDecompressor::~JpegDecompressor()
{
    // Safe on a structure that was never created: it is all zero then.
    jpeg_destroy_decompress(&cinfo);
}

void JpegDecompressor::create(std::uint64_t memoryLimit)
{
    jpeg_create_decompress(&cinfo);
    // The library clears the structure when it creates the decompressor
    // (keeping only the error manager and client data), so the rest is
    // attached afterwards.
    cinfo.client_data = this;
    cinfo.src = &source.pub;
    cinfo.progress = &progress;

    jpeg_memory_mgr *memory = cinfo.mem;
    meter.allocSmall = memory->alloc_small;
    meter.allocLarge = memory->alloc_large;
    meter.allocSampleArray = memory->alloc_sarray;
    meter.allocBlockArray = memory->alloc_barray;
    meter.requestVirtualSamples = memory->request_virt_sarray;
    meter.requestVirtualBlocks = memory->request_virt_barray;
    meter.freePool = memory->free_pool;
    memory->alloc_small = quillmereJpegAllocSmall;
    memory->alloc_large = quillmereJpegAllocLarge;
    memory->alloc_sarray = quillmereJpegAllocSampleArray;
    memory->alloc_barray = quillmereJpegAllocBlockArray;
    memory->request_virt_sarray = quillmereJpegRequestVirtualSamples;
    memory->request_virt_barray = quillmereJpegRequestVirtualBlocks;
    memory->free_pool = quillmereJpegFreePool;
    setMemoryLimit(memoryLimit);
}

void JpegDecompressor::setMemoryLimit(std::uint64_t bytes)
{
    meter.limit = bytes;
    // The library's own limit as well: whole-picture buffers that do not fit
    // would go to a temporary file, which this build of libjpeg does not
    // have, so they fail (JERR_NO_BACKING_STORE) instead.
    cinfo.mem->max_memory_to_use =
        static_cast<long>(std::min<std::uint64_t>(std::max<std::uint64_t>(bytes, 1), std::numeric_limits<long>::max()));
}

void JpegDecompressor::raise() const
{
    throw EJPEG(QStringLiteral("JPEG error #%1").arg(error.pub.msg_code));
}

} // namespace quillmere
