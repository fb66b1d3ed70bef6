// Benchmark of what hostile picture files cost: small files whose headers
// claim enormous pictures, many scans or data that ends at once.
//
//   bench_hostile_pictures make <folder>
//       writes eight such files, two copies of each (sixteen result rows)
//   bench_hostile_pictures run <file>...
//       for each file, in a process of its own: the row's thumbnail and the
//       image view's drawing of it (700 x 450); then all files one after the
//       other in one process, as a search fills its rows. Prints wall time
//       and peak memory (the process's peak resident size above what it
//       started with) per row and in all.
//   bench_hostile_pictures real <file>...
//       for real photos: milliseconds per thumbnail streamed from the
//       decoder and by full decode and stretch, and whether both give the
//       same pixels
//
// bench/hostile_pictures.sh builds it, makes the files, fetches real photos
// and runs all three.
#include "imaging/bitmap.h"
#include "imaging/image_list.h"
#include "imaging/jpeg_codec.h"
#include "imaging/jpeg_format.h"
#include "imaging/picture.h"
#include "imaging/row_thumbnail.h"
#include "support/picture_fixtures.h"

#include <QGuiApplication>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace quillmere;
using namespace quillmere::test;

namespace {

QRgb noise(int x, int y)
{
    const unsigned v = static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u;
    return qRgb(static_cast<int>(v & 255), static_cast<int>((v >> 8) & 255), static_cast<int>((v >> 16) & 255));
}

// A BMP header claiming width x height at the given depth, followed by
// `pixels` bytes.
std::string bmpHeader(int width, int height, int bits, std::uint32_t compression, std::string pixels,
                      std::vector<QRgb> colours = {})
{
    BmpSpec s;
    s.width = width;
    s.height = height;
    s.bitsPerPixel = static_cast<std::uint16_t>(bits);
    s.compression = compression;
    s.colours = std::move(colours);
    s.colourCount = static_cast<std::uint32_t>(s.colours.size());
    s.pixels = std::move(pixels);
    return buildBmp(s);
}

std::vector<std::pair<std::string, std::string>> hostileFiles()
{
    std::vector<std::pair<std::string, std::string>> files;
    // 1. Progressive CMYK claiming 16000 x 16000 in 100 scans.
    JpegSpec cmyk;
    cmyk.width = 16;
    cmyk.height = 16;
    cmyk.colour = JpegSpec::Colour::CmykAdobe;
    cmyk.singleCoefficientScans = 24; // 1 + 4 x 24 = 97 scans
    files.emplace_back("progressive-cmyk-16000.jpg", withJpegFrameSize(encodeJpeg(cmyk, noise), 16000, 16000));
    // 2. Progressive RGB claiming 16384 x 16384.
    JpegSpec progressive;
    progressive.width = 48;
    progressive.height = 48;
    progressive.progressive = true;
    files.emplace_back("progressive-16384.jpg", withJpegFrameSize(encodeJpeg(progressive, noise), 16384, 16384));
    // 3. Baseline RGB claiming 16384 x 16384 whose data ends after a strip.
    JpegSpec baseline;
    baseline.width = 256;
    baseline.height = 64;
    files.emplace_back("truncated-16384.jpg", withJpegFrameSize(encodeJpeg(baseline, noise), 16384, 16384));
    // 4. A 32-bit BMP header claiming 16384 x 16384 and nothing after it.
    files.emplace_back("header-only-16384x32.bmp", bmpHeader(16384, 16384, 32, 0, std::string(66, '\0')));
    // 5. Grayscale baseline claiming 16384 x 16384: its dither needs every row.
    JpegSpec gray = baseline;
    gray.colour = JpegSpec::Colour::Gray;
    files.emplace_back("gray-truncated-16384.jpg", withJpegFrameSize(encodeJpeg(gray, noise), 16384, 16384));
    // 6. RLE8 claiming 16384 x 16384 with half a megabyte of long runs.
    std::string runs;
    for (int i = 0; runs.size() < 512 * 1024; ++i) {
        runs += std::string{char(255), char(i & 7)};
        if (i % 64 == 63) {
            runs += std::string("\0\0", 2); // end of line
        }
    }
    std::vector<QRgb> eight;
    for (int i = 0; i < 8; ++i) {
        eight.push_back(qRgb(i * 30, 255 - i * 30, 128));
    }
    files.emplace_back("rle8-16384.bmp", bmpHeader(16384, 16384, 8, 1, runs, eight));
    // 7. A one-bit BMP 16384 x 16384 with 900 KB of rows: every row is
    // combined into the thumbnail.
    files.emplace_back("mono-16384.bmp",
                       bmpHeader(16384, 16384, 1, 0, std::string(900 * 1024, '\x5A'), {qRgb(0, 0, 0), qRgb(255, 255, 255)}));
    // 8. Baseline 4:2:0 claiming 16384 x 16384 with 900 KB of real data.
    JpegSpec dense;
    dense.width = 1024;
    dense.height = 1024;
    dense.quality = 95;
    const std::string denseFile = encodeJpeg(dense, noise);
    files.emplace_back("dense-16384.jpg",
                       withJpegFrameSize(denseFile.substr(0, std::min<std::size_t>(denseFile.size(), 900 * 1024)), 16384,
                                         16384));
    return files;
}

void make(const std::string &folder)
{
    for (const auto &[name, bytes] : hostileFiles()) {
        for (const char *copy : {"a-", "b-"}) {
            const std::string path = folder + "/" + copy + name;
            std::ofstream(path, std::ios::binary) << bytes;
            std::printf("%s\n", path.c_str());
        }
    }
}

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One result row: the thumbnail, then the image view showing the picture.
// Adds the time of each to thumbnail and view.
void makeRow(const std::string &path, TImageList &list, double &thumbnail, double &view)
{
    auto start = Clock::now();
    makeThumbnails(path, list);
    thumbnail += millisecondsSince(start);
    start = Clock::now();
    TPicture picture;
    try {
        LoadPictureByExtension(picture, path);
        QImage window(700, 450, QImage::Format_RGB32);
        QPainter painter(&window);
        picture.Draw(painter, window.rect());
    } catch (const std::exception &) {
        // the image view drops load failures and reports paint failures
    }
    view += millisecondsSince(start);
}

// A field of /proc/self/status, in kilobytes.
long statusKilobytes(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return std::atol(line.c_str() + prefix.size());
        }
    }
    return 0;
}

struct Measure {
    double thumbnail = 0; // milliseconds
    double view = 0;
    double peakMegabytes = 0;
};

// Runs the rows in a child process whose peak resident size is reset at its
// start: the peak above its resident size then is what the rows cost.
Measure inChild(const std::vector<std::string> &paths)
{
    int channel[2];
    if (pipe(channel) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::ofstream("/proc/self/clear_refs") << "5"; // resets the peak
        const long base = statusKilobytes("VmRSS");
        Measure m;
        TImageList list;
        for (const std::string &path : paths) {
            makeRow(path, list, m.thumbnail, m.view);
        }
        m.peakMegabytes = static_cast<double>(statusKilobytes("VmHWM") - base) / 1024.0;
        if (write(channel[1], &m, sizeof m) != static_cast<ssize_t>(sizeof m)) {
            std::_Exit(1);
        }
        std::_Exit(0);
    }
    close(channel[1]);
    Measure m;
    if (read(channel[0], &m, sizeof m) != static_cast<ssize_t>(sizeof m)) {
        std::fprintf(stderr, "a row crashed its process\n");
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return m;
}

int run(const std::vector<std::string> &paths)
{
    std::printf("%-32s %12s %10s %10s %9s\n", "row", "thumbnail ms", "view ms", "both ms", "peak MB");
    const auto print = [](const std::string &name, const Measure &m) {
        std::printf("%-32s %12.1f %10.1f %10.1f %9.1f\n", name.c_str(), m.thumbnail, m.view, m.thumbnail + m.view,
                    m.peakMegabytes);
    };
    for (const std::string &path : paths) {
        print(path.substr(path.rfind('/') + 1), inChild({path}));
    }
    print("all rows, one process", inChild(paths));
    return 0;
}

std::vector<std::uint8_t> fileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int real(const std::vector<std::string> &paths)
{
    std::printf("%-40s %12s %12s %6s\n", "photo", "streamed ms", "full ms", "same");
    int differing = 0;
    for (const std::string &path : paths) {
        const std::vector<std::uint8_t> bytes = fileBytes(path);
        QImage streamed(100, 75, QImage::Format_RGB32);
        QImage full = streamed;
        streamed.fill(Qt::white);
        full.fill(Qt::white);
        constexpr int kRounds = 3;
        auto start = std::chrono::steady_clock::now();
        for (int r = 0; r < kRounds; ++r) {
            stretchJpeg(bytes.data(), bytes.size(), streamed, streamed.rect());
        }
        const std::chrono::duration<double, std::milli> streamedTime = std::chrono::steady_clock::now() - start;
        start = std::chrono::steady_clock::now();
        for (int r = 0; r < kRounds; ++r) {
            TBitmap whole;
            decodeJpeg(bytes.data(), bytes.size(), whole);
            whole.StretchDraw(full, full.rect());
        }
        const std::chrono::duration<double, std::milli> fullTime = std::chrono::steady_clock::now() - start;
        const bool same = streamed == full;
        differing += same ? 0 : 1;
        std::printf("%-40s %12.1f %12.1f %6s\n", path.substr(path.rfind('/') + 1).c_str(), streamedTime.count() / kRounds,
                    fullTime.count() / kRounds, same ? "yes" : "NO");
    }
    return differing == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "make" && argc == 3) {
        make(argv[2]);
        return 0;
    }
    if (mode == "run" && argc >= 3) {
        return run(std::vector<std::string>(argv + 2, argv + argc));
    }
    if (mode == "real" && argc >= 3) {
        return real(std::vector<std::string>(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "usage: %s make <folder> | run <file>... | real <file>...\n", argv[0]);
    return 2;
}
