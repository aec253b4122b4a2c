// Tests of the payload build step: its pure core, the program's handling of bad input, its
// determinism, and the invariants of the tables it produced for this build.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "payload/mkpayload/payload_builder.h"
#include "payload/payload_layout.h"
#include "payload/payload_tables.h"
#include "tests/support/test_tables.h"

namespace fs = std::filesystem;
using testing_support::ReadFileBytes;

namespace {

const std::vector<std::string> kNames(std::begin(payload::kPayloadNames),
                                      std::end(payload::kPayloadNames));

struct ProgramRun {
    int status;
    std::string output;
};

// Runs mkpayload with the arguments and returns its exit status and everything it printed.
ProgramRun RunMkpayload(const std::string& arguments) {
    const std::string command = std::string(MXV_TEST_MKPAYLOAD) + " " + arguments + " 2>&1";
    ProgramRun run{-1, ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.output.append(buffer, n);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// A scratch directory holding a copy of the default payload.
class MkpayloadProgram : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("mxv-mkpayload-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "in");
        for (const std::string& name : kNames) {
            fs::copy_file(fs::path(MXV_TEST_PAYLOAD_DIR) / name, dir_ / "in" / name);
        }
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Inputs() const {
        std::string list;
        for (const std::string& name : kNames) {
            list += " '" + (dir_ / "in" / name).string() + "'";
        }
        return list;
    }
    std::string Out() const { return (dir_ / "tables.cpp").string(); }

    // Expects mkpayload to refuse the inputs with a message that holds mention, leaving no output.
    void ExpectRefused(const std::string& arguments, const std::string& mention) {
        std::ofstream(Out()) << "stale tables";
        const ProgramRun run = RunMkpayload("-o '" + Out() + "'" + arguments);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find("error"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find(mention), std::string::npos) << run.output;
        EXPECT_FALSE(fs::exists(Out())) << "no output, not even an old one";
        EXPECT_FALSE(fs::exists(Out() + ".tmp"));
    }

    fs::path dir_;
};

// The emitted tables read back from their source text: the name and byte arrays decoded, the
// entries with the array each of their pointers names.
struct ParsedResource {
    std::size_t name;
    std::uint32_t uncompressedSize;
    std::int32_t compressedSize;
};
struct ParsedChunk {
    std::size_t name;
    std::size_t data;
    std::size_t offset;
    int length;
};
struct ParsedTables {
    std::vector<std::string> names;
    std::vector<std::string> data;
    std::vector<ParsedResource> resources;
    std::vector<ParsedChunk> chunks;
    bool terminated = false;
};

// Decodes the C++ string literals on one line: plain characters and three-digit octal escapes,
// the only forms the build step writes. Fails the test on anything else.
std::string DecodeLiterals(const std::string& line) {
    std::string bytes;
    bool inside = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            inside = !inside;
        } else if (inside && c == '\\') {
            EXPECT_LE(i + 3, line.size() - 1) << line;
            const std::string digits = line.substr(i + 1, 3);
            EXPECT_EQ(digits.find_first_not_of("01234567"), std::string::npos) << line;
            bytes += static_cast<char>(std::stoi(digits, nullptr, 8));
            i += 3;
        } else if (inside) {
            bytes += c;
        }
    }
    EXPECT_FALSE(inside) << "unterminated literal: " << line;
    return bytes;
}

ParsedTables ParseTables(const std::string& source) {
    ParsedTables parsed;
    std::istringstream lines(source);
    std::string line;
    std::string* array = nullptr;
    std::smatch match;
    const std::regex name(R"(^const char kName(\d+)\[\] = (".*");$)");
    const std::regex data(R"(^const char kData(\d+)\[\] =( "")?;?$)");
    const std::regex resource(R"(^    \{kName(\d+), (\d+)u, (-?\d+)\},$)");
    const std::regex chunk(R"(^    \{kName(\d+), kData(\d+) \+ (\d+), (\d+)\},$)");
    while (std::getline(lines, line)) {
        if (array != nullptr) {
            // A line of the byte array being read; its last line ends with the semicolon.
            *array += DecodeLiterals(line);
            if (!line.empty() && line.back() == ';') {
                array = nullptr;
            }
        } else if (std::regex_match(line, match, name)) {
            EXPECT_EQ(std::stoul(match[1]), parsed.names.size());
            parsed.names.push_back(DecodeLiterals(match[2]));
        } else if (std::regex_match(line, match, data)) {
            EXPECT_EQ(std::stoul(match[1]), parsed.data.size());
            parsed.data.emplace_back();
            if (line.back() != ';') {
                array = &parsed.data.back();
            }
        } else if (std::regex_match(line, match, resource)) {
            parsed.resources.push_back({std::stoul(match[1]),
                                        static_cast<std::uint32_t>(std::stoul(match[2])),
                                        std::stoi(match[3])});
        } else if (std::regex_match(line, match, chunk)) {
            EXPECT_FALSE(parsed.terminated) << "an entry after the terminator";
            parsed.chunks.push_back({std::stoul(match[1]), std::stoul(match[2]),
                                     std::stoul(match[3]), std::stoi(match[4])});
        } else if (line == "    {\"\", \"\", 0},") {
            parsed.terminated = true;
        }
    }
    EXPECT_EQ(array, nullptr) << "a byte array without its end";
    return parsed;
}

} // namespace

TEST(Mkpayload, OrderInputsPutsFilesInTableOrderAndRefusesWrongNames) {
    std::vector<std::string> paths;
    for (auto it = kNames.rbegin(); it != kNames.rend(); ++it) {
        paths.push_back("some/dir/" + *it);
    }
    std::vector<mkpayload::InputFile> ordered;
    std::string error;
    ASSERT_TRUE(mkpayload::OrderInputs(paths, {"QlarHelp.htm"}, kNames, ordered, error)) << error;
    ASSERT_EQ(ordered.size(), kNames.size());
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        EXPECT_EQ(ordered[i].name, kNames[i]);
        EXPECT_EQ(ordered[i].path, "some/dir/" + kNames[i]);
        EXPECT_EQ(ordered[i].stored, kNames[i] == "QlarHelp.htm");
    }

    std::vector<std::string> missing(paths.begin() + 1, paths.end());
    EXPECT_FALSE(mkpayload::OrderInputs(missing, {}, kNames, ordered, error));
    EXPECT_NE(error.find("QlarHelp.htm: missing"), std::string::npos) << error;

    std::vector<std::string> extra = paths;
    extra.push_back("x/readme.txt");
    EXPECT_FALSE(mkpayload::OrderInputs(extra, {}, kNames, ordered, error));
    EXPECT_NE(error.find("x/readme.txt"), std::string::npos) << error;

    std::vector<std::string> twice = paths;
    twice.push_back("other/NQVQlar.exe");
    EXPECT_FALSE(mkpayload::OrderInputs(twice, {}, kNames, ordered, error));
    EXPECT_NE(error.find("other/NQVQlar.exe"), std::string::npos) << error;

    EXPECT_FALSE(mkpayload::OrderInputs(paths, {"nope.dll"}, kNames, ordered, error));
    EXPECT_NE(error.find("nope.dll"), std::string::npos) << error;
}

TEST(Mkpayload, EmittedSourceParsesBackToTheFilesInTwentySixByteChunks) {
    std::vector<mkpayload::BuiltFile> files(3);
    std::string error;
    ASSERT_TRUE(mkpayload::BuildFile("a.htm", std::string(52, 'a'), true, files[0], error));
    // Bytes that need escapes, and a digit right after an escape that must not join it.
    const std::string tricky = std::string("\0\"\\?7\n\0", 7) + "\x80\xff" + std::string(21, 'b');
    ASSERT_TRUE(mkpayload::BuildFile("b.htm", tricky, true, files[1], error));
    ASSERT_TRUE(mkpayload::BuildFile("c.dll", std::string(5000, 'c'), false, files[2], error))
        << error;
    const ParsedTables parsed = ParseTables(mkpayload::EmitTables(files));

    ASSERT_EQ(parsed.names.size(), files.size());
    ASSERT_EQ(parsed.data.size(), files.size()) << "one byte array per file";
    ASSERT_EQ(parsed.resources.size(), files.size());
    std::size_t position = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].name);
        EXPECT_EQ(parsed.names[i], files[i].name);
        EXPECT_EQ(parsed.resources[i].name, i);
        EXPECT_EQ(parsed.resources[i].uncompressedSize, files[i].uncompressedSize);
        EXPECT_EQ(parsed.resources[i].compressedSize, files[i].compressedSize);
        EXPECT_EQ(parsed.data[i], files[i].payload)
            << "the array holds the file's chunk bytes back to back and nothing else";
        // The file's run: contiguous pieces of its own array, 26 bytes each but the last.
        std::string rebuilt;
        std::size_t next = 0;
        const std::size_t first = position;
        for (; position < parsed.chunks.size() && parsed.chunks[position].name == i; ++position) {
            const ParsedChunk& chunk = parsed.chunks[position];
            EXPECT_EQ(chunk.data, i) << "a chunk points into its own file's array";
            EXPECT_EQ(chunk.offset, next);
            const bool last =
                position + 1 == parsed.chunks.size() || parsed.chunks[position + 1].name != i;
            if (!last) {
                EXPECT_EQ(chunk.length, 26);
            }
            ASSERT_LE(chunk.offset + chunk.length, parsed.data[i].size());
            rebuilt += parsed.data[i].substr(chunk.offset, chunk.length);
            next = chunk.offset + chunk.length;
        }
        EXPECT_EQ(rebuilt, files[i].payload);
        EXPECT_EQ(position - first, mkpayload::ChunkCount(files[i].payload.size()));
    }
    EXPECT_EQ(position, parsed.chunks.size()) << "nothing after the last run but the terminator";
    EXPECT_TRUE(parsed.terminated);
    ASSERT_GE(parsed.chunks.size(), 4u);
    EXPECT_EQ(parsed.chunks[1].length, 26) << "a run whose total is a multiple of 26 ends full";
    EXPECT_EQ(parsed.chunks[3].length, 4) << "30 bytes: 26, then the remaining 4";
    EXPECT_EQ(mkpayload::ChunkCount(1), 1u);
    EXPECT_EQ(mkpayload::ChunkCount(26), 1u);
    EXPECT_EQ(mkpayload::ChunkCount(27), 2u);
}

TEST(Mkpayload, BuiltStreamsAreOneBlockSizeNineStream) {
    mkpayload::BuiltFile built;
    std::string error;
    ASSERT_TRUE(mkpayload::BuildFile("x.dll", std::string(10000, 'q'), false, built, error));
    EXPECT_EQ(built.payload.substr(0, 4), "BZh9");
    EXPECT_EQ(built.compressedSize, static_cast<std::int32_t>(built.payload.size()));
    EXPECT_EQ(built.uncompressedSize, 10000u);
}

TEST(Mkpayload, TheTablesOfThisBuildKeepTheirInvariants) {
    std::size_t position = 0;
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        const ResourceEntry& entry = ResourceTable[i];
        EXPECT_STREQ(entry.name, payload::kPayloadNames[i]);
        EXPECT_EQ(entry.uncompressedSize,
                  fs::file_size(fs::path(MXV_TEST_PAYLOAD_DIR) / entry.name));
        ASSERT_GT(entry.compressedSize, 0) << "every file of this build is compressed";
        EXPECT_GE(position, i) << "no run starts before its table position";
        std::int64_t total = 0;
        std::size_t chunks = 0;
        for (; std::string(ChunkTable[position].name) == entry.name; ++position, ++chunks) {
            const std::int32_t length = ChunkTable[position].length;
            total += length;
            const bool last = std::string(ChunkTable[position + 1].name) != entry.name;
            if (last) {
                EXPECT_TRUE(length >= 1 && length <= kChunkLength) << entry.name;
            } else {
                EXPECT_EQ(length, kChunkLength) << entry.name;
                // The chunks of one file are consecutive pieces of one array, with no terminator
                // byte after each.
                EXPECT_EQ(ChunkTable[position + 1].data, ChunkTable[position].data + length)
                    << entry.name << " chunk " << chunks;
            }
        }
        EXPECT_EQ(total, entry.compressedSize) << entry.name;
        EXPECT_EQ(chunks, (static_cast<std::size_t>(entry.compressedSize) + 25) / 26);
        EXPECT_EQ(std::string(ChunkTable[position - chunks].data, 4), "BZh9") << entry.name;
    }
    EXPECT_STREQ(ChunkTable[position].name, "") << "the terminator follows the last run";
    EXPECT_EQ(ChunkTable[position].length, 0);
}

TEST_F(MkpayloadProgram, SameInputsGiveTheSameSourceAndASummary) {
    const ProgramRun first = RunMkpayload("-o '" + Out() + "'" + Inputs());
    ASSERT_EQ(first.status, 0) << first.output;
    const std::string source = ReadFileBytes(Out());
    const ProgramRun second = RunMkpayload("-o '" + Out() + "'" + Inputs());
    ASSERT_EQ(second.status, 0) << second.output;
    EXPECT_EQ(ReadFileBytes(Out()), source);
    EXPECT_EQ(first.output, second.output);
    EXPECT_EQ(source, ReadFileBytes(MXV_TEST_TABLES_SOURCE)) << "the build made the same tables";
    // The summary names every file in order, with its chunk positions, and ends with the totals.
    std::size_t at = 0;
    for (const std::string& name : kNames) {
        at = first.output.find(name, at);
        ASSERT_NE(at, std::string::npos) << name;
    }
    EXPECT_NE(first.output.find("0 to "), std::string::npos);
    EXPECT_NE(first.output.find("terminator stands at chunk position"), std::string::npos);
}

TEST_F(MkpayloadProgram, BadInputIsNamedAndLeavesNoOutput) {
    const std::string help = (dir_ / "in" / "QlarHelp.htm").string();
    std::string withoutHelp;
    for (const std::string& name : kNames) {
        if (name != "QlarHelp.htm") {
            withoutHelp += " '" + (dir_ / "in" / name).string() + "'";
        }
    }
    ExpectRefused(withoutHelp, "QlarHelp.htm");

    std::ofstream(dir_ / "in" / "notes.txt") << "x";
    ExpectRefused(Inputs() + " '" + (dir_ / "in" / "notes.txt").string() + "'", "notes.txt");

    fs::remove(help);
    ExpectRefused(Inputs(), help);

    // A directory under a payload name opens but cannot be read as a file.
    fs::create_directory(help);
    ExpectRefused(Inputs(), help);
    fs::remove(help);

    // A sparse file one byte past the largest size the tables can hold; it is refused before it is
    // read.
    { std::ofstream touch(help); }
    ASSERT_EQ(truncate(help.c_str(), 0x80000000LL), 0);
    ExpectRefused(Inputs(), help);
    ExpectRefused(Inputs() + " --stored nope.dll", "nope.dll");
}
