// libFuzzer target: loading a TIFF picture (header), then what the program
// does with it: the 100 x 75 thumbnail streamed from its strips or tiles,
// the image view's drawing at the reduction that fills a window (a second,
// larger paint decodes again), the small decode that picks a reduced page,
// and for pictures of up to 4 megapixels the whole page decoded. Runs at the
// program's own pixel cap; the run's -timeout and -rss_limit_mb turn a slow
// or greedy input into a finding.
#include "format_fuzz.h"
#include "imaging/tiff_codec.h"

namespace quillmere {
const PictureFormat &tiffFormat();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quillmere;
    TEncodedPicture picture(dynamic_cast<const EncodedPictureFormat &>(tiffFormat()));
    // The small decode, which picks a reduced page when there is one.
    const auto smallDecode = [&] {
        const std::vector<std::uint8_t> bytes(data, data + size);
        TiffBytes file;
        file.data = bytes.data();
        file.size = bytes.size();
        try {
            TBitmap small;
            decodeTiff(file, small, QSize(24, 16));
        } catch (const Exception &) {
        }
    };
    return fuzz::fuzzPicture(picture, data, size, smallDecode);
}
