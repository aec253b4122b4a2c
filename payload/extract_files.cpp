// Writing the files of a pair of payload tables to disk: rebuild each one, write it whole or delete
// it, report the ones that fail, and with all-or-nothing take back the rest when one failed.
#include "payload/extract_files.h"

#include <cstdlib>

#include "payload/retrieve_resource.h"
#include "platform/host.h"

namespace payload {
namespace {

// Writes the whole buffer to path with one write call. A file that cannot be opened is never
// written to or closed. A short write or a failed close counts as not written, and the file, which
// may now be empty or cut short, is deleted again.
bool WriteWholeFile(const std::string& path, const char* data, std::int32_t size) {
    platform::Host& host = platform::host();
    platform::Handle file = host.OpenFileForWriting(path);
    if (file == nullptr) {
        return false;
    }
    const auto length = static_cast<std::size_t>(size);
    const bool written = host.WriteFile(file, data, length) == length;
    const bool closed = host.CloseFile(file);
    if (written && closed) {
        return true;
    }
    host.DeletePlainFile(path);
    return false;
}

void ReportFailure(std::uint32_t index, const char* name) {
    platform::host().WriteStandardError("Error retrieving resource #" + std::to_string(index) +
                                        "(" + name + ")\n");
}

} // namespace

ExtractResult ExtractFiles(const ResourceEntry* resources, const ChunkEntry* chunks,
                           std::uint32_t count, const ExtractOptions& options) {
    ExtractResult result;
    std::int32_t size = 0;
    std::string path;
    for (std::uint32_t i = 0; i < count; ++i) {
        const char* name = resources[i].name;
        path = options.directory;
        char* buffer = RetrieveResource(resources, chunks, count, i, &size);
        if (buffer == nullptr) {
            ReportFailure(i, name);
            ++result.failures;
            continue;
        }
        if (options.listNames) {
            platform::host().ConsoleWrite(std::string(name) + "\r\n");
        }
        if (!path.empty()) {
            path += "\\";
        }
        path += name;
        const bool written = WriteWholeFile(path, buffer, size);
        std::free(buffer);
        // A file that could not be written is reported like one that could not be rebuilt.
        if (written) {
            result.written.push_back(path);
        } else {
            ReportFailure(i, name);
            ++result.failures;
        }
    }

    // Every file is tried first, so each failure gets its own line; only then are the whole files
    // taken back. One that cannot be deleted stays listed as written.
    if (options.allOrNothing && result.failures != 0) {
        std::vector<std::string> left;
        for (const std::string& written : result.written) {
            if (!platform::host().DeletePlainFile(written)) {
                left.push_back(written);
            }
        }
        result.written.swap(left);
    }
    return result;
}

} // namespace payload
