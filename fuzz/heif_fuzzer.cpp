// libFuzzer target: a HEIC file (libheif) or an AVIF file (libavif),
// whichever its file type box names, as the program uses it: loading
// (header), the 100 x 75 thumbnail of the decoded picture, two paints of the
// image view (350 x 225, then 700 x 450, so the second decodes again), the
// row thumbnail and a small decode from a file (which may take a stored HEIC
// thumbnail instead), and for pictures of up to 4 megapixels the whole
// picture decoded. Runs at the program's own pixel cap; the run's -timeout
// and -rss_limit_mb turn a slow or greedy input into a finding.
#include "format_fuzz.h"
#include "imaging/avif_format.h"
#include "imaging/heif_format.h"
#include "imaging/picture_format.h"

#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

// Decoding AV1 leaves a few blocks of dav1d's behind for some
// damaged files: no leak of the program's, and one that would stop every run.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libdav1d.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quillmere;
    const PictureFormat &format = avifFormat().hasSignature(data, size) ? avifFormat() : heicFormat();
    std::unique_ptr<TGraphic> graphic = format.newPicture();
    // The steps that read a file, stored thumbnails included.
    const auto fromFile = [&] {
        static const std::string path = "/tmp/heif_fuzzer_" + std::to_string(getpid()) + ".heic";
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
        (void)format.rowThumbnail(path); // never raises
        try {
            (void)format.smallDecode(path, QSize(64, 48));
        } catch (const Exception &) {
        }
    };
    return fuzz::fuzzPicture(dynamic_cast<TEncodedPicture &>(*graphic), data, size, fromFile);
}
