// Fuzz target of the payload build step: one or two small files from the input are compressed (or
// stored) and proved by BuildFile, the tables are emitted as C++ source by EmitTables, and the
// emitted source is read back: its names, each file's data array, its resource entries and its
// chunk entries, which point into the data arrays by offset and length. The tables must hold, for
// each file in order, one run of chunks of 26 bytes whose last chunk holds the rest (1 to 26
// bytes), with lengths that add up to the compressed size (the file's size when stored), whose
// bytes give back the file; and a terminator entry at the end.
#include <bzlib.h>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "payload/mkpayload/payload_builder.h"

namespace {

constexpr std::size_t kChunk = 26;
constexpr std::size_t kMaxContent = 2048;

void Fail(const char* what) {
    std::fprintf(stderr, "oracle: %s\n", what);
    std::abort();
}

// Reads the emitted source from a position on; every step checks what it expects to find.
class Reader {
public:
    explicit Reader(const std::string& text) : text_(text) {}

    void Expect(const std::string& token) {
        if (text_.compare(at_, token.size(), token) != 0) {
            Fail(("expected \"" + token + "\" in the emitted source").c_str());
        }
        at_ += token.size();
    }
    bool Next(const std::string& token) const {
        return text_.compare(at_, token.size(), token) == 0;
    }
    void SkipTo(const std::string& token) {
        const std::size_t found = text_.find(token, at_);
        if (found == std::string::npos) {
            Fail(("no \"" + token + "\" in the emitted source").c_str());
        }
        at_ = found + token.size();
    }
    std::uint64_t Number() {
        std::uint64_t value = 0;
        bool digits = false;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            value = value * 10 + static_cast<std::uint64_t>(text_[at_++] - '0');
            digits = true;
        }
        if (!digits) {
            Fail("a number was expected in the emitted source");
        }
        return value;
    }
    // The bytes of a string literal's body, up to its closing quote, which is consumed. The body
    // holds printable characters and octal escapes of up to three digits.
    std::string Literal() {
        std::string bytes;
        while (at_ < text_.size() && text_[at_] != '"') {
            char c = text_[at_++];
            if (c == '\\') {
                int value = 0;
                int digits = 0;
                while (digits < 3 && at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '7') {
                    value = value * 8 + (text_[at_++] - '0');
                    ++digits;
                }
                if (digits == 0) {
                    Fail("an escape other than an octal one in a literal");
                }
                c = static_cast<char>(value);
            } else if (static_cast<unsigned char>(c) < 0x20 ||
                       static_cast<unsigned char>(c) >= 0x7f) {
                Fail("an unescaped control or 8-bit byte in a literal");
            }
            bytes += c;
        }
        Expect("\"");
        return bytes;
    }

private:
    const std::string& text_;
    std::size_t at_ = 0;
};

std::string Decompress(const std::string& stream, std::size_t size) {
    std::string out(size + 1, '\0');
    unsigned int length = static_cast<unsigned int>(out.size());
    if (BZ2_bzBuffToBuffDecompress(out.data(), &length, const_cast<char*>(stream.data()),
                                   static_cast<unsigned int>(stream.size()), 0, 0) != BZ_OK) {
        Fail("a compressed payload does not decompress");
    }
    out.resize(length);
    return out;
}

struct Input {
    std::string name;
    std::string content;
    bool stored;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::vector<Input> inputs(input.ConsumeIntegralInRange<std::size_t>(1, 2));
    for (Input& file : inputs) {
        file.stored = input.ConsumeIntegralInRange<int>(0, 3) == 0;
        // A name is a file name: no NUL, at least one byte.
        file.name = input.ConsumeRandomLengthString(16);
        file.name = file.name.substr(0, file.name.find('\0'));
        if (file.name.empty()) {
            file.name = "f";
        }
        file.content = input.ConsumeRandomLengthString(kMaxContent);
    }

    std::vector<mkpayload::BuiltFile> built(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        std::string error;
        if (!mkpayload::BuildFile(inputs[i].name, inputs[i].content, inputs[i].stored, built[i],
                                  error)) {
            Fail("a small file was refused");
        }
        const mkpayload::BuiltFile& file = built[i];
        if (file.name != inputs[i].name || file.uncompressedSize != inputs[i].content.size()) {
            Fail("the name or the size of a built file is wrong");
        }
        if (inputs[i].stored) {
            if (file.compressedSize != 0 || file.payload != inputs[i].content) {
                Fail("a stored file is not carried as it is");
            }
        } else if (file.compressedSize <= 0 ||
                   static_cast<std::size_t>(file.compressedSize) != file.payload.size() ||
                   file.payload.compare(0, 4, "BZh9") != 0 ||
                   Decompress(file.payload, inputs[i].content.size()) != inputs[i].content) {
            Fail("a compressed file's stream is wrong");
        }
    }

    const std::string source = mkpayload::EmitTables(built);
    Reader reader(source);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        reader.SkipTo("const char kName" + std::to_string(i) + "[] = \"");
        if (reader.Literal() != inputs[i].name) {
            Fail("a name literal does not give back the name");
        }
    }
    // Each file's bytes: one array made of adjacent literals, or the empty literal.
    std::vector<std::string> arrays(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        reader.SkipTo("const char kData" + std::to_string(i) + "[] =");
        if (reader.Next(" \"\"")) {
            reader.Expect(" \"\"");
        }
        while (reader.Next("\n    \"")) {
            reader.Expect("\n    \"");
            arrays[i] += reader.Literal();
        }
        reader.Expect(";\n");
    }
    reader.SkipTo("ResourceTable[kResourceCount] = {\n");
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        reader.Expect("    {kName" + std::to_string(i) + ", ");
        if (reader.Number() != inputs[i].content.size()) {
            Fail("an entry's uncompressedSize is wrong");
        }
        reader.Expect("u, ");
        const std::uint64_t compressed = reader.Number();
        if (compressed != (inputs[i].stored ? 0 : built[i].payload.size())) {
            Fail("an entry's compressedSize is wrong");
        }
        reader.Expect("},\n");
    }
    reader.SkipTo("ChunkTable[] = {\n");
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        // One run per file, in table order.
        const std::string prefix =
            "    {kName" + std::to_string(i) + ", kData" + std::to_string(i) + " + ";
        std::string rebuilt;
        std::vector<std::size_t> lengths;
        while (reader.Next(prefix)) {
            reader.Expect(prefix);
            const std::uint64_t offset = reader.Number();
            reader.Expect(", ");
            const std::uint64_t length = reader.Number();
            reader.Expect("},\n");
            // A chunk lies inside its file's array, right behind the chunk before it.
            if (offset != rebuilt.size() || offset + length > arrays[i].size()) {
                Fail("a chunk does not follow its run inside its file's array");
            }
            lengths.push_back(static_cast<std::size_t>(length));
            rebuilt += arrays[i].substr(static_cast<std::size_t>(offset),
                                        static_cast<std::size_t>(length));
        }
        if (lengths.empty()) {
            Fail("a file without chunks");
        }
        for (std::size_t c = 0; c + 1 < lengths.size(); ++c) {
            if (lengths[c] != kChunk) {
                Fail("a chunk before the last of its run is not 26 bytes");
            }
        }
        // The last chunk holds 1 to 26 bytes; only an empty stored file has nothing to put in its
        // one chunk.
        const bool emptyStored = inputs[i].stored && inputs[i].content.empty();
        if (lengths.back() > kChunk || (lengths.back() == 0 && !emptyStored)) {
            Fail("the last chunk of a run is not 1 to 26 bytes");
        }
        const std::size_t expectedTotal =
            inputs[i].stored ? inputs[i].content.size() : built[i].payload.size();
        if (rebuilt.size() != expectedTotal) {
            Fail("a run's lengths do not add up");
        }
        // The payload was proved to give back the file above, so the chunks give it back when
        // they hold the payload; each compression costs megabytes of buffers, so it is not
        // decompressed twice.
        if (rebuilt != (inputs[i].stored ? inputs[i].content : built[i].payload)) {
            Fail("a run's chunks do not give back the file");
        }
    }
    reader.Expect("    {\"\", \"\", 0},\n};\n");
    return 0;
}
