// Fingerprints every picture under a folder on all cores and groups them into
// sets of similar pictures at each level, the way the similar-picture search
// does, without a window.
//
//   bench_similar_sets FOLDER [--out PREFIX] [--level WORD] [--no-turns]
//                      [--threads N] [--runs N]
//   bench_similar_sets --levels
//
// Prints to stderr the files listed, the pictures fingerprinted per second
// (the file's bytes hashed too, as the grouping wants) and each level's
// grouping time. With --out, writes PREFIX-WORD.tsv for each level: one set per
// line, its absolute paths separated by TAB, the form bench/score_similar.py
// reads. --level keeps one level (its --similar word, or "default"); --runs
// repeats the fingerprinting and prints each run's rate. --levels prints each
// level's word and least percent, strictest first, the default marked.

#include "imaging/picture_fingerprint.h"
#include "platform/processor_count.h"
#include "search/similar_sets.h"

#include <sys/resource.h>
#include <xxhash.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace quillmere;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The processor time this process has used so far, user and system.
double processorSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Every regular file under the folder, absolute, in name order.
std::vector<std::string> listFiles(const std::string &folder)
{
    std::vector<std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(fs::absolute(folder), fs::directory_options::skip_permission_denied, error), end;
         it != end; it.increment(error)) {
        if (error) {
            break;
        }
        if (it->is_regular_file(error)) {
            files.push_back(it->path().lexically_normal().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::optional<std::uint64_t> contentHashOf(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    XXH3_state_t *state = XXH3_createState();
    XXH3_64bits_reset(state);
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        XXH3_64bits_update(state, buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    const std::uint64_t hash = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    return hash;
}

struct Fingerprinted {
    std::vector<FingerprintedPicture> pictures;
    std::vector<std::string> paths; // of each picture
    std::vector<std::string> unreadable;
    std::vector<double> seconds; // each file's reading and fingerprinting, in listing order
};

// Fingerprints the files on `threads` threads, each taking the next file.
Fingerprinted fingerprintAll(const std::vector<std::string> &files, int threads)
{
    std::vector<std::optional<FingerprintedPicture>> readings(files.size());
    std::vector<double> seconds(files.size());
    std::atomic<std::size_t> next {0};
    const auto work = [&] {
        for (std::size_t i = next++; i < files.size(); i = next++) {
            const auto start = Clock::now();
            const auto file = FingerprintPictureFile(files[i]);
            seconds[i] = secondsSince(start);
            const auto hash = contentHashOf(files[i]);
            if (!file || !hash) {
                continue;
            }
            std::error_code error;
            FingerprintedPicture picture;
            picture.fingerprint = file->fingerprint;
            picture.width = file->size.width();
            picture.height = file->size.height();
            picture.bytes = static_cast<std::int64_t>(fs::file_size(files[i], error));
            picture.contentHash = *hash;
            readings[i] = picture;
        }
    };
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back(work);
    }
    for (auto &worker : workers) {
        worker.join();
    }
    Fingerprinted result;
    result.seconds = std::move(seconds);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (readings[i]) {
            result.pictures.push_back(*readings[i]);
            result.paths.push_back(files[i]);
        } else {
            result.unreadable.push_back(files[i]);
        }
    }
    return result;
}

// The mean time of a file by its name's extension: which formats the
// fingerprinting spends its time on.
void printTimeByExtension(const std::vector<std::string> &files, const std::vector<double> &seconds)
{
    std::map<std::string, std::pair<int, double>> byExtension;
    for (std::size_t i = 0; i < files.size(); ++i) {
        auto &[count, total] = byExtension[fs::path(files[i]).extension().string()];
        ++count;
        total += seconds[i];
    }
    for (const auto &[extension, entry] : byExtension) {
        std::fprintf(stderr, "  %-6s %5d files, %7.1f ms each, %6.2f s in all\n", extension.c_str(), entry.first,
                     1000 * entry.second / entry.first, entry.second);
    }
}

void writeSets(const std::string &path, const std::vector<SimilarSet> &sets, const std::vector<std::string> &paths)
{
    std::ofstream out(path);
    for (const SimilarSet &set : sets) {
        for (std::size_t m = 0; m < set.members.size(); ++m) {
            out << (m == 0 ? "" : "\t") << paths[static_cast<std::size_t>(set.members[m].picture)];
        }
        out << '\n';
    }
    if (!out) {
        std::fprintf(stderr, "%s: could not be written\n", path.c_str());
        std::exit(1);
    }
}

[[noreturn]] void usage()
{
    std::fprintf(stderr, "usage: bench_similar_sets FOLDER [--out PREFIX] [--level WORD] [--no-turns] [--threads N] [--runs N]\n");
    std::exit(2);
}

} // namespace

int main(int argc, char **argv)
{
    std::string folder, prefix, onlyLevel;
    bool turns = true;
    int threads = UsableProcessorCount();
    int runs = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                usage();
            }
            return argv[++i];
        };
        if (arg == "--out") {
            prefix = value();
        } else if (arg == "--level") {
            onlyLevel = value();
        } else if (arg == "--no-turns") {
            turns = false;
        } else if (arg == "--threads") {
            threads = std::max(1, std::atoi(value().c_str()));
        } else if (arg == "--levels") {
            for (const SimilarityLevelInfo &info : SimilarityLevels()) {
                std::printf("%s %d%s\n", info.word, info.leastPercent,
                            info.level == kDefaultSimilarityLevel ? " default" : "");
            }
            return 0;
        } else if (arg == "--runs") {
            runs = std::max(1, std::atoi(value().c_str()));
        } else if (!arg.empty() && arg[0] != '-' && folder.empty()) {
            folder = arg;
        } else {
            usage();
        }
    }
    if (folder.empty()) {
        usage();
    }

    const std::vector<std::string> files = listFiles(folder);
    std::fprintf(stderr, "%zu files under %s, %d threads\n", files.size(), folder.c_str(), threads);
    Fingerprinted found;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        const double processorStart = processorSeconds();
        found = fingerprintAll(files, threads);
        const double seconds = secondsSince(start);
        std::fprintf(stderr, "fingerprinted %zu pictures (%zu unreadable) in %.2f s: %.1f pictures/s (%.2f s of processor time)\n",
                     found.pictures.size(), found.unreadable.size(), seconds,
                     static_cast<double>(found.pictures.size()) / seconds, processorSeconds() - processorStart);
    }
    printTimeByExtension(files, found.seconds);
    for (const std::string &path : found.unreadable) {
        std::fprintf(stderr, "unreadable: %s\n", path.c_str());
    }

    bool any = false;
    for (const SimilarityLevelInfo &info : SimilarityLevels()) {
        const bool chosen = onlyLevel.empty() || onlyLevel == info.word
                            || (onlyLevel == "default" && info.level == kDefaultSimilarityLevel);
        if (!chosen) {
            continue;
        }
        any = true;
        SimilarityOptions options;
        options.level = info.level;
        options.turns = turns;
        // Counts the full decodes the grouping asks for, and their time, which
        // the grouping's own time includes.
        int pixelChecks = 0;
        double pixelSeconds = 0;
        const auto samePixels = [&](int a, int b) {
            const auto checkStart = Clock::now();
            ++pixelChecks;
            const bool same = UprightPixelsEqual(found.paths[static_cast<std::size_t>(a)], found.paths[static_cast<std::size_t>(b)]);
            pixelSeconds += secondsSince(checkStart);
            return same;
        };
        const auto start = Clock::now();
        const std::vector<SimilarSet> sets = GroupSimilarPictures(found.pictures, options, samePixels);
        const double seconds = secondsSince(start);
        std::size_t members = 0;
        for (const SimilarSet &set : sets) {
            members += set.members.size();
        }
        std::fprintf(stderr, "level %s (%d%%): %zu sets of %zu pictures, grouped in %.3f s"
                     " (%d pixel comparisons took %.3f s of it)\n", info.word,
                     info.leastPercent, sets.size(), members, seconds, pixelChecks, pixelSeconds);
        if (!prefix.empty()) {
            writeSets(prefix + "-" + info.word + ".tsv", sets, found.paths);
        }
    }
    if (!any) {
        std::fprintf(stderr, "no level is called %s\n", onlyLevel.c_str());
        return 2;
    }
    return 0;
}
