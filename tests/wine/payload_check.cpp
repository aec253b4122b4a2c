// A Windows test program, run under Wine: rebuilds every file of the compiled payload tables with
// the Windows build of libbzip2 and compares it byte for byte with the input file it was made from.
//
//   payload_check.exe DIR      (DIR holds the payload's input files)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "payload/payload_tables.h"
#include "payload/retrieve_resource.h"

namespace {

bool ReadWhole(const std::string& path, std::string& content) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    char buffer[65536];
    std::size_t n;
    content.clear();
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        content.append(buffer, n);
    }
    std::fclose(file);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: payload_check DIR\n");
        return 2;
    }
    int passed = 0;
    int failed = 0;
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        const char* name = ResourceTable[i].name;
        std::string expected;
        std::int32_t size = -1;
        char* buffer = RetrieveResource(ResourceTable, ChunkTable, kResourceCount, i, &size);
        const bool read = ReadWhole(std::string(argv[1]) + "\\" + name, expected);
        const bool same = buffer != nullptr && read &&
                          static_cast<std::size_t>(size) == expected.size() &&
                          expected.compare(0, expected.size(), buffer, expected.size()) == 0;
        std::printf("%s %s (%d bytes rebuilt, %u expected)\n", same ? "ok  " : "FAIL", name,
                    buffer != nullptr ? static_cast<int>(size) : -1,
                    static_cast<unsigned>(expected.size()));
        std::free(buffer);
        ++(same ? passed : failed);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
