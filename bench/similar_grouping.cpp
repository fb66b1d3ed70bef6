// Groups many fingerprints of similar pictures and prints how long it took.
//
//   bench_similar_grouping [pictures=100000]
//
// The pictures are small made-up scenes (a few soft waves and blobs of
// colour under a fine grain, each scene its own), fingerprinted as a search would; one in
// twenty is a changed copy of another (scaled, lighter, mirrored or turned),
// so that the grouping has true sets to make among many lone pictures.
//
// The index's work grows with how close the hashes of distinct pictures
// lie, so the program prints that spread too. The made-up scenes are as
// spread as real photos: over the 70 wallpapers of the quality set two
// distinct pictures' hashes differ in 31.5 bits on average and 1.5% of pairs
// in at most 22, and so do the scenes' (31.5 and 1.6%); their bits are set
// in 50% of the scenes each (30% to 63% in the photos), and they have more
// standing forms each (1.89 against 1.60), which only makes more work.

#include "imaging/bitmap.h"
#include "imaging/fingerprint_layout.h"
#include "imaging/picture_fingerprint.h"
#include "search/similar_sets.h"

#include <QImage>
#include <QTransform>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

using namespace quillmere;

namespace {

QImage scene(std::mt19937 &random, int width, int height)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    struct Wave {
        double fx, fy, phase, r, g, b;
    };
    struct Blob {
        double x, y, radius, r, g, b;
    };
    std::vector<Wave> waves(4);
    for (Wave &w : waves) {
        w = {unit(random) * 4, unit(random) * 4, unit(random) * 6.3, unit(random) * 60, unit(random) * 60,
             unit(random) * 60};
    }
    std::vector<Blob> blobs(5);
    for (Blob &b : blobs) {
        b = {unit(random), unit(random), 0.05 + 0.2 * unit(random), unit(random) * 255, unit(random) * 255,
             unit(random) * 255};
    }
    std::uniform_int_distribution<int> grainOf(-12, 12);
    QImage image(width, height, QImage::Format_RGB32);
    // sin(a + b) = sin a cos b + cos a sin b: each wave's sines along x and
    // along y, once.
    std::vector<double> sinX(waves.size() * width), cosX(waves.size() * width);
    std::vector<double> sinY(waves.size() * height), cosY(waves.size() * height);
    for (std::size_t w = 0; w < waves.size(); ++w) {
        for (int x = 0; x < width; ++x) {
            sinX[w * width + x] = std::sin(6.283 * waves[w].fx * x / width + waves[w].phase);
            cosX[w * width + x] = std::cos(6.283 * waves[w].fx * x / width + waves[w].phase);
        }
        for (int y = 0; y < height; ++y) {
            sinY[w * height + y] = std::sin(6.283 * waves[w].fy * y / height);
            cosY[w * height + y] = std::cos(6.283 * waves[w].fy * y / height);
        }
    }
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width;
            const double v = double(y) / height;
            double r = 128, g = 128, b = 128;
            for (std::size_t i = 0; i < waves.size(); ++i) {
                const Wave &w = waves[i];
                const double s = sinX[i * width + x] * cosY[i * height + y] + cosX[i * width + x] * sinY[i * height + y];
                r += w.r * s;
                g += w.g * s;
                b += w.b * s;
            }
            for (const Blob &blob : blobs) {
                const double du = u - blob.x;
                const double dv = v - blob.y;
                if (du * du + dv * dv < blob.radius * blob.radius) {
                    r = blob.r;
                    g = blob.g;
                    b = blob.b;
                }
            }
            // Grain, as a camera leaves it.
            const double grain = grainOf(random);
            r += grain;
            g += grain;
            b += grain;
            row[x] = qRgb(std::clamp(int(r), 0, 255), std::clamp(int(g), 0, 255), std::clamp(int(b), 0, 255));
        }
    }
    return image;
}

QImage changedCopy(const QImage &image, int kind)
{
    switch (kind % 4) {
    case 0:
        return image.scaled(image.width() * 3 / 4, image.height() * 3 / 4, Qt::IgnoreAspectRatio,
                            Qt::SmoothTransformation);
    case 1: {
        QImage lighter = image;
        for (int y = 0; y < lighter.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(lighter.scanLine(y));
            for (int x = 0; x < lighter.width(); ++x) {
                row[x] = qRgb(std::min(255, qRed(row[x]) * 11 / 10), std::min(255, qGreen(row[x]) * 11 / 10),
                              std::min(255, qBlue(row[x]) * 11 / 10));
            }
        }
        return lighter;
    }
    case 2:
        return image.mirrored(true, false);
    default:
        return image.transformed(QTransform().rotate(90));
    }
}

FingerprintedPicture fingerprinted(const QImage &image, std::int64_t bytes)
{
    TBitmap bitmap;
    bitmap.SetPixels(image, 32);
    FingerprintedPicture picture;
    picture.fingerprint = FingerprintOfUpright(bitmap);
    picture.width = image.width();
    picture.height = image.height();
    picture.bytes = bytes;
    picture.contentHash = static_cast<std::uint64_t>(bytes);
    return picture;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    std::mt19937 random(2024);
    std::vector<FingerprintedPicture> pictures;
    pictures.reserve(count);
    int copies = 0;
    const auto making = std::chrono::steady_clock::now();
    while (static_cast<int>(pictures.size()) < count) {
        const QImage image = scene(random, 64, 48);
        pictures.push_back(fingerprinted(image, static_cast<std::int64_t>(pictures.size()) + 1000));
        if (pictures.size() % 20 == 0 && static_cast<int>(pictures.size()) < count) {
            pictures.push_back(fingerprinted(changedCopy(image, copies++), static_cast<std::int64_t>(pictures.size())));
        }
    }
    std::printf("%d fingerprints made in %.1f s (%d changed copies among them)\n", count, secondsSince(making), copies);
    // How many standing forms a picture is filed under with turns: the
    // index's work grows with it.
    double standing = 0;
    for (const FingerprintedPicture &picture : pictures) {
        standing += std::popcount(KeyOf(picture.fingerprint, true).standing);
    }
    std::printf("standing forms per picture: %.2f\n", standing / count);
    // How far apart the hashes of two pictures drawn at random lie.
    std::mt19937 drawing(7);
    std::uniform_int_distribution<int> anyPicture(0, count - 1);
    constexpr int kDraws = 200000;
    double bits = 0;
    int close = 0;
    for (int draw = 0; draw < kDraws; ++draw) {
        const int distance = std::popcount(KeyOf(pictures[anyPicture(drawing)].fingerprint, false).hash ^
                                           KeyOf(pictures[anyPicture(drawing)].fingerprint, false).hash);
        bits += distance;
        close += distance <= 22 ? 1 : 0;
    }
    std::printf("hashes of two pictures at random: %.1f bits apart on average, %.1f%% within 22 bits\n",
                bits / kDraws, 100.0 * close / kDraws);

    for (const SimilarityOptions options :
         {SimilarityOptions {SimilarityLevel::Similar, true}, SimilarityOptions {SimilarityLevel::Similar, false},
          SimilarityOptions {SimilarityLevel::Loose, true}}) {
        const auto start = std::chrono::steady_clock::now();
        const std::vector<SimilarSet> sets = GroupSimilarPictures(pictures, options);
        const double seconds = secondsSince(start);
        std::size_t members = 0;
        for (const SimilarSet &set : sets) {
            members += set.members.size();
        }
        std::printf("level %-8s turns %-3s: %zu sets, %zu pictures in them, grouped in %.3f s\n",
                    SimilarityLevelOf(options.level).word, options.turns ? "on" : "off", sets.size(), members,
                    seconds);
    }
    return 0;
}
