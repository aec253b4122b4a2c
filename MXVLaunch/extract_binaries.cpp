// Launch::ExtractBinaries: the payload tables compiled into the launcher, written into the
// execution directory, all eleven files whole or none, or, in the dump mode, into the current
// directory with each name listed.
#include "MXVLaunch/embedded_payload.h"
#include "MXVLaunch/launch.h"
#include "payload/extract_files.h"

namespace launcher {
namespace {

// The tables a test installed; null for the compiled ones.
const PayloadTables* installed = nullptr;

} // namespace

PayloadTables EmbeddedPayload() {
    return installed != nullptr ? *installed
                                : PayloadTables{ResourceTable, ChunkTable, kResourceCount};
}

ScopedPayload::ScopedPayload(const PayloadTables& tables) : previous_(installed), tables_(tables) {
    installed = &tables_;
}

ScopedPayload::~ScopedPayload() {
    installed = previous_;
}

} // namespace launcher

// The utility must never start from an incomplete set of files: in the launch mode a file that was
// not rebuilt or not written whole makes the whole extraction fail, and the files that were written
// are deleted again, so that a full disk leaves nothing behind but the empty directory. The dump
// keeps every file written whole and reports the others one by one.
bool Launch::ExtractBinaries(bool dumpMode) {
    if (!dumpMode && !directoryCreated) {
        return false;
    }
    payload::ExtractOptions options;
    options.directory = dumpMode ? std::string() : executionDirectory;
    options.listNames = dumpMode;
    options.allOrNothing = !dumpMode;
    const launcher::PayloadTables tables = launcher::EmbeddedPayload();
    const payload::ExtractResult result =
        payload::ExtractFiles(tables.resources, tables.chunks, tables.count, options);
    if (!dumpMode && result.failures != 0) {
        return false;
    }
    binariesExtracted = true;
    return true;
}
