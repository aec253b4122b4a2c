// Launch::ExtractBinaries: rebuilds every embedded file in table order and writes it to disk.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "MXVLaunch/launch.h"
#include "payload/payload_tables.h"
#include "payload/retrieve_resource.h"
#include "platform/host.h"

namespace {

// Writes the whole buffer to path with one write call. A file that cannot be opened is never
// written to or closed, and a short write or a failed close counts as not written.
bool WriteWholeFile(const std::string& path, const char* data, std::int32_t size) {
    platform::Host& host = platform::host();
    platform::Handle file = host.OpenFileForWriting(path);
    if (file == nullptr) {
        return false;
    }
    const auto length = static_cast<std::size_t>(size);
    const bool written = host.WriteFile(file, data, length) == length;
    const bool closed = host.CloseFile(file);
    return written && closed;
}

void ReportFailure(std::uint32_t index, const char* name) {
    platform::host().WriteStandardError("Error retrieving resource #" + std::to_string(index) +
                                        "(" + name + ")\n");
}

} // namespace

bool Launch::ExtractBinaries(bool dumpMode) {
    if (!dumpMode && !directoryCreated) {
        return false;
    }
    std::int32_t size = 0;
    std::string path;
    for (std::uint32_t i = 0; i < kResourceCount; ++i) {
        const char* name = ResourceTable[i].name;
        path = dumpMode ? std::string() : executionDirectory;
        char* buffer = RetrieveResource(ResourceTable, ChunkTable, kResourceCount, i, &size);
        if (buffer == nullptr) {
            ReportFailure(i, name);
            continue;
        }
        if (dumpMode) {
            platform::host().ConsoleWrite(std::string(name) + "\r\n");
        } else {
            path += "\\";
        }
        path += name;
        const bool written = WriteWholeFile(path, buffer, size);
        std::free(buffer);
        // A file that could not be written is reported like one that could not be rebuilt.
        if (!written) {
            ReportFailure(i, name);
        }
    }
    binariesExtracted = true;
    return true;
}
