// libFuzzer target: loading a PNG picture (header), then what the program
// does with it: the 100 x 75 thumbnail streamed from libpng's rows, the image
// view's drawing at the reduction that fills a 700 x 450 window (a second,
// larger paint decodes again), and for pictures of up to 4 megapixels the
// whole picture decoded. Runs at the program's own pixel cap; the run's
// -timeout and -rss_limit_mb turn a slow or greedy input into a finding.
#include "format_fuzz.h"
#include "imaging/png_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    quillmere::TPNGImage picture;
    return quillmere::fuzz::fuzzPicture(picture, data, size);
}
