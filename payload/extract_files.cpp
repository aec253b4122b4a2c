// Writing the files of a pair of payload tables to disk: rebuild each one, write it whole, report
// the ones that fail.
#include "payload/extract_files.h"

#include <cstdlib>

#include "payload/retrieve_resource.h"
#include "platform/host.h"

namespace payload {
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

std::uint32_t ExtractFiles(const ResourceEntry* resources, const ChunkEntry* chunks,
                           std::uint32_t count, const Destination& destination) {
    std::uint32_t failures = 0;
    std::int32_t size = 0;
    std::string path;
    for (std::uint32_t i = 0; i < count; ++i) {
        const char* name = resources[i].name;
        path = destination.directory;
        char* buffer = RetrieveResource(resources, chunks, count, i, &size);
        if (buffer == nullptr) {
            ReportFailure(i, name);
            ++failures;
            continue;
        }
        if (destination.listNames) {
            platform::host().ConsoleWrite(std::string(name) + "\r\n");
        }
        if (!path.empty()) {
            path += "\\";
        }
        path += name;
        const bool written = WriteWholeFile(path, buffer, size);
        std::free(buffer);
        // A file that could not be written is reported like one that could not be rebuilt.
        if (!written) {
            ReportFailure(i, name);
            ++failures;
        }
    }
    return failures;
}

} // namespace payload
