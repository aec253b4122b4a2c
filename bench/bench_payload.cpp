// Generation of the benchmark payload. Each file interleaves runs of incompressible bytes with
// structured filler that compresses well (symbol names, wide strings, address tables and padding
// for the binaries, markup for the text files). The share of incompressible bytes is tuned per file
// until libbzip2 compresses the file to within a fraction of a percent of its target size.
#include "bench/bench_payload.h"

#include <bzlib.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace benchpayload {
namespace {

// splitmix64: a small, well-mixed generator whose output is defined by this code alone, so the
// files do not depend on the standard library's engines or distributions.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        state_ += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // A value in [0, bound). The slight bias of the modulo does not matter here; only determinism
    // does.
    std::uint32_t Below(std::uint32_t bound) { return static_cast<std::uint32_t>(Next() % bound); }

private:
    std::uint64_t state_;
};

enum class Kind { Binary, Manifest, Html };

Kind KindOf(const std::string& name) {
    const auto endsWith = [&name](const std::string& suffix) {
        return name.size() >= suffix.size() &&
               name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    if (endsWith(".manifest")) {
        return Kind::Manifest;
    }
    if (endsWith(".htm")) {
        return Kind::Html;
    }
    return Kind::Binary;
}

const char* const kWords[] = {
    "Config", "Trace",  "Query",   "Device", "Buffer", "Stream",  "Handle", "Value",
    "Table",  "Record", "Window",  "Module", "Report", "Session", "Thread", "Memory",
    "Open",   "Close",  "Read",    "Write",  "Create", "Destroy", "Get",    "Set",
    "Check",  "Update", "Release", "Lock",   "Status", "Version", "Option", "Entry",
};
constexpr std::uint32_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

const char* const kSymbolPrefixes[] = {"", "_", "Mxv", "Nqv"};

// Short byte patterns that recur in machine code, used as the code-like filler of the binaries.
const char* const kCodePatterns[] = {
    "\x55\x8B\xEC", "\x8B\x45\x08", "\x8B\x4D\x0C", "\x89\x45\xFC", "\x33\xC0", "\x5D\xC3",
    "\x6A\x00",     "\x50",         "\x51",         "\x83\xC4\x08", "\x85\xC0", "\x74\x0A",
    "\x75\x05",     "\x8B\xE5",     "\x56\x57",     "\xC2\x04",
};
constexpr std::uint32_t kCodePatternCount = sizeof(kCodePatterns) / sizeof(kCodePatterns[0]);

// The compressible part of a file: an endless stream of structured filler of one kind, handed out
// in pieces of any length. Pieces taken one after another continue the same text. A binary's filler
// draws on small tables of symbol names, phrases and routines made once per file, because a real
// program repeats its names, messages and code sequences far more than random words would.
class Filler {
public:
    Filler(Kind kind, std::uint64_t seed) : kind_(kind), random_(seed) {
        for (std::string& symbol : symbols_) {
            symbol = kSymbolPrefixes[random_.Below(4)];
            const std::uint32_t words = 2 + random_.Below(2);
            for (std::uint32_t i = 0; i < words; ++i) {
                symbol += Word();
            }
            symbol += '\0';
        }
        for (std::string& phrase : phrases_) {
            // A phrase is stored as a wide string: UTF-16 with a zero terminator.
            const std::uint32_t words = 2 + random_.Below(4);
            for (std::uint32_t i = 0; i < words; ++i) {
                if (i > 0) {
                    phrase.append(1, ' ').append(1, '\0');
                }
                for (const char* c = Word(); *c != '\0'; ++c) {
                    phrase.append(1, *c).append(1, '\0');
                }
            }
            phrase.append(2, '\0');
        }
        for (std::string& routine : routines_) {
            const std::uint32_t patterns = 6 + random_.Below(10);
            for (std::uint32_t i = 0; i < patterns; ++i) {
                routine += kCodePatterns[random_.Below(kCodePatternCount)];
            }
        }
    }

    void Append(std::string& out, std::size_t count) {
        while (count > 0) {
            if (position_ == pending_.size()) {
                pending_.clear();
                position_ = 0;
                Refill();
            }
            const std::size_t take = std::min(count, pending_.size() - position_);
            out.append(pending_, position_, take);
            position_ += take;
            count -= take;
        }
    }

private:
    static constexpr std::uint32_t kTableSize = 64;
    static constexpr std::uint32_t kRoutineCount = 8;

    const char* Word() { return kWords[random_.Below(kWordCount)]; }

    void AppendLittleEndian(std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            pending_ += static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    }

    void Refill() {
        switch (kind_) {
        case Kind::Binary:
            RefillBinary();
            break;
        case Kind::Manifest:
            RefillManifest();
            break;
        case Kind::Html:
            RefillHtml();
            break;
        }
    }

    // A binary is filler of sections, each a run of one kind of content, as a program's sections
    // are: a stretch of its string table, of its import names, of code, of an address table, or of
    // alignment padding.
    void RefillBinary() {
        const std::uint32_t choice = random_.Below(16);
        if (choice < 4) {
            const std::uint32_t first = random_.Below(kTableSize);
            const std::uint32_t count = 4 + random_.Below(12);
            for (std::uint32_t i = 0; i < count; ++i) {
                pending_ += symbols_[(first + i) % kTableSize];
            }
        } else if (choice < 8) {
            const std::uint32_t first = random_.Below(kTableSize);
            const std::uint32_t count = 4 + random_.Below(12);
            for (std::uint32_t i = 0; i < count; ++i) {
                pending_ += phrases_[(first + i) % kTableSize];
            }
        } else if (choice < 11) {
            pending_.append(64 * (1 + random_.Below(16)), '\0');
        } else if (choice < 13) {
            const std::uint32_t stride = 16 * (1 + random_.Below(4));
            const std::uint32_t count = 16 + random_.Below(48);
            for (std::uint32_t i = 0; i < count; ++i) {
                address_ += stride;
                AppendLittleEndian(address_);
            }
        } else {
            // Routines, each with one operand that differs between its uses.
            const std::uint32_t count = 1 + random_.Below(4);
            for (std::uint32_t i = 0; i < count; ++i) {
                pending_ += routines_[random_.Below(kRoutineCount)];
                pending_ += static_cast<char>(random_.Below(4) * 4);
            }
        }
    }

    void RefillManifest() {
        if (line_ == 0) {
            pending_ += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                        "<assembly manifestVersion=\"1.0\">\r\n";
        }
        pending_ += "  <file name=\"";
        pending_ += Word();
        pending_ += Word();
        pending_ += ".dll\" version=\"9.0.";
        pending_ += std::to_string(20000 + random_.Below(10000));
        pending_ += ".1\" />\r\n";
        ++line_;
    }

    void RefillHtml() {
        if (line_ == 0) {
            pending_ += "<html>\r\n<head><title>Help</title></head>\r\n<body>\r\n";
        }
        const std::uint32_t choice = random_.Below(4);
        const char* tag = choice == 0 ? "h2" : (choice == 1 ? "li" : "p");
        pending_ += "<";
        pending_ += tag;
        pending_ += ">";
        const std::uint32_t words = 4 + random_.Below(8);
        for (std::uint32_t i = 0; i < words; ++i) {
            if (i > 0) {
                pending_ += ' ';
            }
            pending_ += Word();
        }
        pending_ += "</";
        pending_ += tag;
        pending_ += ">\r\n";
        ++line_;
    }

    Kind kind_;
    Random random_;
    std::string symbols_[kTableSize];
    std::string phrases_[kTableSize];
    std::string routines_[kRoutineCount];
    std::string pending_;
    std::size_t position_ = 0;
    std::uint32_t address_ = 0x1000;
    std::uint32_t line_ = 0;
};

// The incompressible part: raw random bytes for a binary, random characters from a 64-character
// alphabet for a text file so that it stays text.
void AppendNoise(std::string& out, Random& random, Kind kind, std::size_t count) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    while (count > 0) {
        std::uint64_t bits = random.Next();
        const std::size_t take = std::min<std::size_t>(count, kind == Kind::Binary ? 8 : 10);
        for (std::size_t i = 0; i < take; ++i) {
            if (kind == Kind::Binary) {
                out += static_cast<char>(bits & 0xFF);
                bits >>= 8;
            } else {
                out += kAlphabet[bits & 63];
                bits >>= 6;
            }
        }
        count -= take;
    }
}

// The file is cut into slots; each slot starts with a run of noise and is filled up with filler.
// Slots are small for the small files so that even they mix the two finely.
std::size_t SlotLength(std::size_t size) {
    return std::clamp<std::size_t>(size / 8, 64, 4096);
}

// Builds the file of this size and kind with noiseBytes bytes of noise, spread evenly over the
// slots.
std::string Build(std::size_t size, Kind kind, std::uint64_t seed, std::size_t noiseBytes) {
    std::string out;
    out.reserve(size);
    Random noise(seed ^ 0x6A09E667F3BCC909ull);
    Filler filler(kind, seed);
    const std::size_t slot = SlotLength(size);
    const std::size_t slots = (size + slot - 1) / slot;
    for (std::size_t j = 0; j < slots; ++j) {
        const std::size_t length = std::min(slot, size - j * slot);
        const std::size_t share = (j + 1) * noiseBytes / slots - j * noiseBytes / slots;
        const std::size_t noisy = std::min(share, length);
        AppendNoise(out, noise, kind, noisy);
        filler.Append(out, length - noisy);
    }
    return out;
}

// Each file gets its own seed, derived from its position, so that no two files share content.
std::uint64_t SeedFor(std::size_t index) {
    return 0x4D58564C61756E63ull + 0x9E3779B97F4A7C15ull * (index + 1);
}

} // namespace

std::uint32_t CompressedSize(const std::string& content) {
    unsigned int streamSize =
        static_cast<unsigned int>(content.size() + content.size() / 100 + 600);
    std::string stream(streamSize, '\0');
    // The library's interface takes a non-const source although it never writes to it.
    std::string source = content;
    const int status = BZ2_bzBuffToBuffCompress(stream.data(), &streamSize, source.data(),
                                                static_cast<unsigned int>(source.size()), 9, 0, 0);
    if (status != BZ_OK) {
        throw std::runtime_error("libbzip2 failed to compress (status " + std::to_string(status) +
                                 ")");
    }
    return streamSize;
}

bool WithinTolerance(std::uint64_t achieved, std::uint64_t target) {
    const std::uint64_t difference = achieved > target ? achieved - target : target - achieved;
    return difference * 100 <= kCompressedTolerancePercent * target;
}

GeneratedFile GenerateBenchFileMeasured(std::size_t index) {
    if (index >= kBenchFileCount) {
        throw std::out_of_range("no benchmark file at position " + std::to_string(index));
    }
    const BenchFile& file = kBenchFiles[index];
    const Kind kind = KindOf(file.name);
    const std::uint64_t seed = SeedFor(index);
    const std::size_t size = file.size;
    const double target = file.targetCompressedSize;

    // The compressed size grows almost linearly with the number of noise bytes, so a secant search
    // finds the right number in a few tries. It starts from rough per-byte costs of filler and
    // noise and keeps a bracket, bisecting whenever the secant step would leave it.
    const double noiseCost = kind == Kind::Binary ? 1.0 : 0.76;
    const double fillerCost = kind == Kind::Binary ? 0.04 : 0.2;
    const double slope = noiseCost - fillerCost;
    const double tolerance = std::max(2.0, target / 400.0);
    const auto clampNoise = [size](double value) {
        return static_cast<std::size_t>(std::clamp(value, 0.0, static_cast<double>(size)));
    };

    std::size_t low = 0;
    std::size_t high = size;
    bool haveLow = false;
    bool haveHigh = false;
    GeneratedFile best;
    double bestError = -1;
    std::size_t previousNoise = 0;
    double previousSize = -1;
    std::size_t noise = clampNoise((target - fillerCost * static_cast<double>(size)) / slope);
    for (int attempt = 0; attempt < 24; ++attempt) {
        std::string content = Build(size, kind, seed, noise);
        const double compressed = CompressedSize(content);
        const double error = std::abs(compressed - target);
        if (bestError < 0 || error < bestError) {
            bestError = error;
            best.content = std::move(content);
            best.compressedSize = static_cast<std::uint32_t>(compressed);
        }
        if (error <= tolerance) {
            break;
        }
        if (compressed < target) {
            low = noise;
            haveLow = true;
        } else {
            high = noise;
            haveHigh = true;
        }
        if (high <= low + 1 && haveLow && haveHigh) {
            break;
        }
        double next;
        if (previousSize >= 0 && compressed != previousSize && noise != previousNoise) {
            const double secant = (compressed - previousSize) /
                                  (static_cast<double>(noise) - static_cast<double>(previousNoise));
            next = static_cast<double>(noise) + (target - compressed) / secant;
        } else {
            next = static_cast<double>(noise) + (target - compressed) / slope;
        }
        previousNoise = noise;
        previousSize = compressed;
        std::size_t candidate = clampNoise(next);
        const bool inside = (!haveLow || candidate > low) && (!haveHigh || candidate < high);
        if (!inside || candidate == noise) {
            if (haveLow && haveHigh) {
                candidate = low + (high - low) / 2;
            } else if (haveLow) {
                candidate = std::min(size, noise + std::max<std::size_t>(1, (size - noise) / 2));
            } else {
                candidate = noise / 2;
            }
        }
        if (candidate == noise) {
            break;
        }
        noise = candidate;
    }
    return best;
}

std::string GenerateBenchFile(std::size_t index) {
    return GenerateBenchFileMeasured(index).content;
}

} // namespace benchpayload
