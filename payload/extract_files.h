// Writing every file of a pair of payload tables to disk, in table order, each one whole or not at
// all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "payload/payload_tables.h"

namespace payload {

// Where the files go and what happens when one of them fails.
struct ExtractOptions {
    // Each file's path is directory, a backslash and its name; when directory is empty, the bare
    // name, so the file lands in the current directory.
    std::string directory;
    // Print each name on the console, ended by CR LF, before its file is written.
    bool listNames = false;
    // All files or none: when any file is not written whole, the files that were are deleted again
    // at the end, so that no incomplete set is left behind.
    bool allOrNothing = false;
};

// What ExtractFiles left on disk.
struct ExtractResult {
    // The paths of the files written whole that are still on disk, in table order.
    std::vector<std::string> written;
    // How many files could not be rebuilt or were not written whole.
    std::uint32_t failures = 0;
};

// Rebuilds each of the count files of resources from chunks and writes it with one write call. A
// file counts as written only when the whole buffer was written and the file closed without error.
// A file that cannot be rebuilt or written gets one line on standard error, "Error retrieving
// resource #I(NAME)", and the next file follows; a file that was opened but not written whole is
// deleted again, so no truncated or empty file is left.
ExtractResult ExtractFiles(const ResourceEntry* resources, const ChunkEntry* chunks,
                           std::uint32_t count, const ExtractOptions& options);

} // namespace payload
