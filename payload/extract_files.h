// Writing every file of a pair of payload tables to disk, in table order.
#pragma once

#include <cstdint>
#include <string>

#include "payload/payload_tables.h"

namespace payload {

// Where the files go: into directory (each file's path is directory, a backslash and its name), or,
// when directory is empty, under its bare name into the current directory. With listNames each name
// is printed on the console, ended by CR LF, before its file is written.
struct Destination {
    std::string directory;
    bool listNames = false;
};

// Rebuilds each of the count files of resources from chunks and writes it to destination with one
// write call. A file that cannot be rebuilt or written gets one line on standard error, "Error
// retrieving resource #I(NAME)", and the next file follows. Returns the number of such files.
std::uint32_t ExtractFiles(const ResourceEntry* resources, const ChunkEntry* chunks,
                           std::uint32_t count, const Destination& destination);

} // namespace payload
