// Launch::ExtractBinaries: the payload tables compiled into the launcher, written into the
// execution directory or, in the dump mode, into the current directory with each name listed.
#include "MXVLaunch/launch.h"
#include "payload/extract_files.h"
#include "payload/payload_tables.h"

bool Launch::ExtractBinaries(bool dumpMode) {
    if (!dumpMode && !directoryCreated) {
        return false;
    }
    payload::Destination destination;
    destination.directory = dumpMode ? std::string() : executionDirectory;
    destination.listNames = dumpMode;
    payload::ExtractFiles(ResourceTable, ChunkTable, kResourceCount, destination);
    binariesExtracted = true;
    return true;
}
