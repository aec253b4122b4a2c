// Fuzz target of RetrieveResource: resource and chunk tables built from the input, each name and
// each chunk's bytes in an allocation of their own and exactly as long as the table says, so that
// any read outside the tables is caught by the address sanitizer.
//
// The first byte chooses the form of the rest:
// - even: the rest is taken as a bzip2 stream. When it is a valid one, it is cut into chunks of 26
//   bytes, placed after some chunks of other files, and the rebuilt file must equal what the
//   library makes of the stream.
// - odd: the rest describes arbitrary tables (entries, names, sizes, chunks and their lengths).
//
// Whatever the tables hold, the result is null, with the size left alone, or a buffer of at most
// uncompressedSize bytes whose content follows from the rules: the chunks named like the wanted
// file, from the chunk position of its index up to the terminator, concatenated; decompressed
// unless the file is stored.
#include <bzlib.h>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "payload/retrieve_resource.h"

namespace {

// The largest file the harness lets the tables describe.
constexpr std::uint32_t kMaxFileSize = 1u << 20;
constexpr std::size_t kChunk = 26;
constexpr std::int32_t kUntouched = -12345;

// Storage with an allocation of its own for every name and every chunk.
class Tables {
public:
    const char* Text(const std::string& text) {
        auto copy = std::make_unique<char[]>(text.size() + 1);
        std::memcpy(copy.get(), text.c_str(), text.size() + 1);
        storage_.push_back(std::move(copy));
        return storage_.back().get();
    }
    // Bytes of exactly this length; a length of 0 or less gets an allocation of one byte that the
    // rules forbid reading.
    const char* Bytes(const std::string& bytes) {
        auto copy = std::make_unique<char[]>(bytes.empty() ? 1 : bytes.size());
        std::memcpy(copy.get(), bytes.data(), bytes.size());
        storage_.push_back(std::move(copy));
        return storage_.back().get();
    }
    std::vector<ResourceEntry> resources;
    std::vector<ChunkEntry> chunks;

private:
    std::vector<std::unique_ptr<char[]>> storage_;
};

// What the library makes of stream with room for capacity bytes; false when it refuses it.
bool Decompress(const std::string& stream, std::uint32_t capacity, std::string& out) {
    // Left uninitialised: only the bytes the library reports are looked at.
    std::unique_ptr<char[]> buffer(new char[capacity == 0 ? 1 : capacity]);
    unsigned int size = capacity;
    if (BZ2_bzBuffToBuffDecompress(buffer.get(), &size, const_cast<char*>(stream.data()),
                                   static_cast<unsigned int>(stream.size()), 0, 0) != BZ_OK) {
        return false;
    }
    out.assign(buffer.get(), size);
    return true;
}

// The bytes of every chunk named name from position start up to the terminator, in order.
std::string Gathered(const std::vector<ChunkEntry>& chunks, std::size_t start,
                     const std::string& name) {
    std::string bytes;
    for (std::size_t i = start; i < chunks.size() && chunks[i].name[0] != '\0'; ++i) {
        if (name == chunks[i].name && chunks[i].length > 0) {
            bytes.append(chunks[i].data, static_cast<std::size_t>(chunks[i].length));
        }
    }
    return bytes;
}

void Fail(const char* what) {
    std::fprintf(stderr, "oracle: %s\n", what);
    std::abort();
}

// Calls RetrieveResource and checks the result against the rules. Returns the rebuilt bytes, or
// nothing with ok false.
std::string CheckRetrieval(const Tables& tables, std::uint32_t index, bool& ok) {
    const auto count = static_cast<std::uint32_t>(tables.resources.size());
    std::int32_t size = kUntouched;
    char* result =
        RetrieveResource(tables.resources.data(), tables.chunks.data(), count, index, &size);
    ok = result != nullptr;
    if (result == nullptr) {
        if (size != kUntouched) {
            Fail("the size was changed on failure");
        }
        return std::string();
    }
    if (index >= count) {
        Fail("a buffer for an index past the table");
    }
    const ResourceEntry& wanted = tables.resources[index];
    if (size < 0 || static_cast<std::uint32_t>(size) > wanted.uncompressedSize) {
        Fail("the size is outside 0 to uncompressedSize");
    }
    std::string rebuilt(result, static_cast<std::size_t>(size));
    std::free(result);

    const std::string gathered = Gathered(tables.chunks, index, wanted.name);
    if (wanted.compressedSize > 0) {
        std::string expected;
        if (!Decompress(gathered, wanted.uncompressedSize, expected) || expected != rebuilt) {
            Fail("a compressed file differs from its decompressed chunks");
        }
    } else if (rebuilt != gathered) {
        Fail("a stored file differs from its chunks");
    }
    return rebuilt;
}

void ValidStream(FuzzedDataProvider& input) {
    const std::size_t decoys = input.ConsumeIntegralInRange<std::size_t>(0, 3);
    const std::string stream = input.ConsumeRemainingBytesAsString();
    std::string original;
    if (stream.empty() || !Decompress(stream, kMaxFileSize, original)) {
        return;
    }
    Tables tables;
    const char* name = tables.Text("NQVQlar.exe");
    for (std::size_t i = 0; i < decoys; ++i) {
        // Other files, each with one chunk, before the wanted one.
        tables.resources.push_back({tables.Text("decoy" + std::to_string(i)), 1, 0});
        tables.chunks.push_back({tables.resources.back().name, tables.Bytes("d"), 1});
    }
    tables.resources.push_back({name, static_cast<std::uint32_t>(original.size()),
                                static_cast<std::int32_t>(stream.size())});
    for (std::size_t at = 0; at < stream.size(); at += kChunk) {
        const std::string piece = stream.substr(at, kChunk);
        // Each chunk carries its own copy of the name: names are matched by content.
        tables.chunks.push_back({tables.Text("NQVQlar.exe"), tables.Bytes(piece),
                                 static_cast<std::int32_t>(piece.size())});
    }
    tables.chunks.push_back({tables.Text(""), tables.Bytes(""), 0});
    bool ok = false;
    const std::string rebuilt = CheckRetrieval(tables, static_cast<std::uint32_t>(decoys), ok);
    if (!ok || rebuilt != original) {
        Fail("a valid stream cut into chunks did not rebuild to its original bytes");
    }
}

void ArbitraryTables(FuzzedDataProvider& input) {
    static const char* const kNames[] = {"a", "b", "ab", ""};
    Tables tables;
    const std::size_t entries = input.ConsumeIntegralInRange<std::size_t>(1, 4);
    for (std::size_t i = 0; i < entries; ++i) {
        const char* name = tables.Text(kNames[input.ConsumeIntegralInRange<int>(0, 2)]);
        // Small sizes most of the time, which keeps the target fast; now and then up to the bound.
        const bool large = input.ConsumeIntegralInRange<int>(0, 15) == 0;
        const std::uint32_t limit = large ? kMaxFileSize : 4096;
        const auto uncompressed = input.ConsumeIntegralInRange<std::uint32_t>(0, limit);
        // Negative and zero sizes mean a stored file; positive ones are bounded like the file.
        const auto compressed =
            input.ConsumeIntegralInRange<std::int32_t>(-2, static_cast<std::int32_t>(limit));
        tables.resources.push_back({name, uncompressed, compressed});
    }
    // At least one chunk per entry, so the scan from the entry's index stays inside the table.
    const std::size_t chunks = input.ConsumeIntegralInRange<std::size_t>(entries, entries + 40);
    for (std::size_t i = 0; i < chunks && input.remaining_bytes() > 0; ++i) {
        const char* name = tables.Text(kNames[input.ConsumeIntegralInRange<int>(0, 2)]);
        std::string bytes = input.ConsumeRandomLengthString(64);
        // Mostly the true length; sometimes a negative one, which must never be read as a size.
        const bool negative = input.ConsumeIntegralInRange<int>(0, 15) == 0;
        tables.chunks.push_back({name, tables.Bytes(bytes),
                                 negative ? -1 - static_cast<std::int32_t>(bytes.size())
                                          : static_cast<std::int32_t>(bytes.size())});
    }
    while (tables.chunks.size() < entries) {
        tables.chunks.push_back({tables.Text("a"), tables.Bytes("x"), 1});
    }
    tables.chunks.push_back({tables.Text(""), tables.Bytes(""), 0});
    const auto index =
        input.ConsumeIntegralInRange<std::uint32_t>(0, static_cast<std::uint32_t>(entries));
    bool ok = false;
    CheckRetrieval(tables, index, ok);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    if (input.ConsumeIntegral<std::uint8_t>() % 2 == 0) {
        ValidStream(input);
    } else {
        ArbitraryTables(input);
    }
    return 0;
}
