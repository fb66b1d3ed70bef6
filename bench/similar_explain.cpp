// Explains the similar-picture scores on a labelled set (the quality
// benchmark's truth.tsv): for every copy, its similarity to its original
// and what each measure cost; for every look-alike or grey copy, the most
// similar picture of another source. For tuning the fingerprint's measures.
//
//   bench_similar_explain DATASET [--no-turns] [--kind KIND] [--keep FILE]
//
// --keep FILE reads the fingerprints from FILE when it exists and writes
// them there otherwise, so that retuning the measures needs no decoding
// (delete the file whenever the fingerprint itself changes).
// Prints one line a picture: kind, similarity, the costs (shape,
// brightness, contrast, colour) of the best-scoring pair of forms, the
// pair of forms (ww, iw, wi) and the path; for look-alikes also the path
// of the closest other picture.

#include "imaging/fingerprint_layout.h"
#include "imaging/picture_fingerprint.h"
#include "platform/processor_count.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace quillmere;

namespace {

struct Entry {
    std::string path;
    std::string source;
    std::string kind;
    std::optional<FingerprintKey> key;
};

struct Explained {
    int similarity = 0;
    SimilarityLosses losses;
    const char *forms = "";
    double meanShift = 0;   // levels, b against a
    double contrastLog = 0; // log of b's contrast over a's
};

// The best-scoring pair of forms and variant, with that pair's costs.
Explained explain(const FingerprintKey &a, const FingerprintKey &b, bool turns)
{
    Explained best;
    best.similarity = KeySimilarity(a, b, turns);
    double least = 1e9;
    const struct {
        const FingerprintForm &a;
        const FingerprintForm &b;
        const char *name;
    } pairs[] = {{a.layout.whole, b.layout.whole, "ww"}, {a.layout.inner, b.layout.whole, "iw"}, {a.layout.whole, b.layout.inner, "wi"}};
    for (const auto &pair : pairs) {
        for (int variant = 0; variant < (turns ? kVariants : 1); ++variant) {
            const SimilarityLosses losses = LossesOfVariant(pair.a, pair.b, variant);
            if (losses.total() < least) {
                least = losses.total();
                best.losses = losses;
                best.forms = pair.name;
                best.meanShift = (pair.b.meanLuma - pair.a.meanLuma) / 256.0;
                best.contrastLog = std::log(std::max(1.0, double(pair.b.contrast)) / std::max(1.0, double(pair.a.contrast)));
            }
        }
    }
    return best;
}

void print(const Entry &entry, const Explained &e, const std::string &other)
{
    std::printf("%-18s %3d  shape %5.1f  bright %5.1f  contrast %5.1f  colour %5.1f  %s  mean %+6.1f  contrast %+5.2f  %s%s%s\n",
                entry.kind.c_str(), e.similarity, e.losses.shape, e.losses.brightness, e.losses.contrast, e.losses.colour,
                e.forms, e.meanShift, e.contrastLog,
                entry.path.c_str(), other.empty() ? "" : "  ~ ", other.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_similar_explain DATASET [--no-turns] [--kind KIND]\n");
        return 2;
    }
    const std::string dataset = argv[1];
    bool turns = true;
    std::string onlyKind;
    std::string keep;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--no-turns") {
            turns = false;
        } else if (arg == "--kind" && i + 1 < argc) {
            onlyKind = argv[++i];
        } else if (arg == "--keep" && i + 1 < argc) {
            keep = argv[++i];
        }
    }
    std::vector<Entry> entries;
    std::ifstream truth(dataset + "/truth.tsv");
    for (std::string line; std::getline(truth, line);) {
        std::istringstream fields(line);
        Entry entry;
        std::getline(fields, entry.path, '\t');
        std::getline(fields, entry.source, '\t');
        std::getline(fields, entry.kind, '\t');
        entry.path = dataset + "/" + entry.path;
        entries.push_back(entry);
    }
    // Each entry's fingerprint, with a flag byte: 0 for none.
    std::vector<std::pair<char, PictureFingerprint>> fingerprints(entries.size());
    std::ifstream kept(keep, std::ios::binary);
    if (!keep.empty() && kept) {
        kept.read(reinterpret_cast<char *>(fingerprints.data()),
                  static_cast<std::streamsize>(fingerprints.size() * sizeof fingerprints[0]));
    } else {
        std::atomic<std::size_t> next {0};
        std::vector<std::thread> workers;
        for (int t = 0; t < UsableProcessorCount(); ++t) {
            workers.emplace_back([&] {
                for (std::size_t i = next++; i < entries.size(); i = next++) {
                    if (const auto file = FingerprintPictureFile(entries[i].path)) {
                        fingerprints[i] = {1, file->fingerprint};
                    }
                }
            });
        }
        for (std::thread &worker : workers) {
            worker.join();
        }
        if (!keep.empty()) {
            std::ofstream(keep, std::ios::binary)
                .write(reinterpret_cast<const char *>(fingerprints.data()),
                       static_cast<std::streamsize>(fingerprints.size() * sizeof fingerprints[0]));
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (fingerprints[i].first != 0) {
            entries[i].key = KeyOf(fingerprints[i].second, turns);
        }
    }
    std::map<std::string, const Entry *> originals;
    for (const Entry &entry : entries) {
        if (entry.kind == "original") {
            originals[entry.source] = &entry;
        }
    }
    for (const Entry &entry : entries) {
        if (!entry.key || entry.kind == "original" || (!onlyKind.empty() && entry.kind != onlyKind)) {
            continue;
        }
        if (entry.kind.rfind("lookalike", 0) == 0 || entry.kind == "grey") {
            Explained closest;
            closest.similarity = -1;
            std::string closestPath;
            for (const Entry &other : entries) {
                if (&other == &entry || !other.key || other.source == entry.source) {
                    continue;
                }
                const int similarity = KeySimilarity(*entry.key, *other.key, turns);
                if (similarity > closest.similarity) {
                    closest = explain(*entry.key, *other.key, turns);
                    closestPath = other.path;
                }
            }
            // A grey copy shares its original's source: say how far it is.
            if (entry.kind == "grey" && originals.count(entry.source) != 0 && originals[entry.source]->key) {
                print(entry, explain(*originals[entry.source]->key, *entry.key, turns), "its original");
            }
            print(entry, closest, closestPath);
            continue;
        }
        const auto original = originals.find(entry.source);
        if (original == originals.end() || !original->second->key) {
            continue;
        }
        // How far apart the whole forms are, in the fingerprint's own units:
        // equal pixels reduced in different ways differ only by rounding.
        const FingerprintForm &a = original->second->key->layout.whole;
        const FingerprintForm &b = entry.key->layout.whole;
        int lumaApart = 0;
        for (int i = 0; i < kLumaCoefficients; ++i) {
            lumaApart = std::max(lumaApart, std::abs(a.luma[i] - b.luma[i]));
        }
        int chromaApart = 0;
        for (int i = 0; i < kChromaCoefficients; ++i) {
            chromaApart = std::max({chromaApart, std::abs(a.cb[i] - b.cb[i]), std::abs(a.cr[i] - b.cr[i])});
        }
        const std::string apart = "apart luma " + std::to_string(lumaApart) + " chroma " + std::to_string(chromaApart) +
                                  " mean " + std::to_string(std::abs(a.meanLuma - b.meanLuma));
        print(entry, explain(*original->second->key, *entry.key, turns), apart);
    }
    return 0;
}
