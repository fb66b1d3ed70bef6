// Benchmark of the thumbnail maker on large JPEG files.
//
//   bench_thumbnails generate <folder> <count> <width> <height>
//       writes <count> noisy photo-like JPEG files (quality 90)
//   bench_thumbnails run <rounds> <file>...
//       makes the 100 x 75 thumbnail of every file <rounds> times (after one
//       untimed round) and prints the mean milliseconds per thumbnail
//   bench_thumbnails one <file>
//       makes the row thumbnail of one file once, whatever the file holds,
//       and prints milliseconds and the row's resolution text (for hostile
//       files, run one process each under /usr/bin/time for the memory)
//
// bench/thumbnails.sh runs both and compares with djpeg on the same files.
#include "imaging/image_list.h"
#include "imaging/row_thumbnail.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

void generate(const std::string &folder, int count, int width, int height)
{
    std::mt19937 noise(12345);
    std::uniform_int_distribution<int> grain(-24, 24);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
    for (int n = 0; n < count; ++n) {
        const std::string path = folder + "/photo" + std::to_string(n) + ".jpg";
        FILE *out = std::fopen(path.c_str(), "wb");
        if (out == nullptr) {
            std::perror(path.c_str());
            std::exit(1);
        }
        jpeg_compress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        jpeg_stdio_dest(&cinfo, out);
        cinfo.image_width = static_cast<JDIMENSION>(width);
        cinfo.image_height = static_cast<JDIMENSION>(height);
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 90, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                // Smooth gradients with grain, roughly like a photo's content.
                const int base[3] = {x * 255 / width, y * 255 / height, ((x + y + n * 500) / 16) % 256};
                for (int c = 0; c < 3; ++c) {
                    row[static_cast<std::size_t>(3 * x + c)] = static_cast<JSAMPLE>(std::clamp(base[c] + grain(noise), 0, 255));
                }
            }
            JSAMPROW rows[1] = {row.data()};
            jpeg_write_scanlines(&cinfo, rows, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        std::fclose(out);
        std::printf("%s\n", path.c_str());
    }
}

int run(int rounds, const std::vector<std::string> &files)
{
    quillmere::TImageList list;
    const auto oneRound = [&] {
        for (const std::string &file : files) {
            if (quillmere::makeThumbnails(file, list).resolution == std::nullopt) {
                std::fprintf(stderr, "%s: no picture\n", file.c_str());
                std::exit(1);
            }
        }
        list.Clear();
    };
    oneRound();
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r) {
        oneRound();
    }
    const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    std::printf("%.2f\n", spent.count() / (static_cast<double>(rounds) * static_cast<double>(files.size())));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "generate" && argc == 6) {
        generate(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
        return 0;
    }
    if (mode == "one" && argc == 3) {
        quillmere::TImageList list;
        const auto start = std::chrono::steady_clock::now();
        const quillmere::ThumbnailOutcome outcome = quillmere::makeThumbnails(argv[2], list);
        const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
        std::printf("%.1f ms, Res \"%s\", own picture: %s\n", spent.count(),
                    outcome.resolution ? outcome.resolution->toUtf8().constData() : "",
                    outcome.showsOwnPicture ? "yes" : "no (fallback)");
        return 0;
    }
    if (mode == "run" && argc >= 4) {
        return run(std::max(1, std::atoi(argv[2])), std::vector<std::string>(argv + 3, argv + argc));
    }
    std::fprintf(stderr, "usage: %s generate <folder> <count> <width> <height> | run <rounds> <file>...\n", argv[0]);
    return 2;
}
