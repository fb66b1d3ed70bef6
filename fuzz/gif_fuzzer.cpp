// libFuzzer target: loading a GIF picture (header), then what the program
// does with it: the 100 x 75 thumbnail, the image view's drawing at the size
// that fills a 350 x 225 and then a 700 x 450 window (the second decodes
// again), and for pictures of up to 4 megapixels the whole picture decoded.
// Runs at the program's own pixel cap; the run's -timeout and -rss_limit_mb
// turn a slow or greedy input into a finding.
#include "format_fuzz.h"
#include "imaging/picture_format.h"

namespace quillmere {
const PictureFormat &gifFormat();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quillmere;
    TEncodedPicture picture(dynamic_cast<const EncodedPictureFormat &>(gifFormat()));
    return fuzz::fuzzPicture(picture, data, size);
}
