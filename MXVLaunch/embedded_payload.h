// The payload tables that Launch::ExtractBinaries writes: the ones compiled into the launcher, or,
// for a test, tables installed in their place for the lifetime of a guard.
#pragma once

#include <cstdint>

#include "payload/payload_tables.h"

namespace launcher {

// A resource table, its chunk table and the number of entries in the resource table.
struct PayloadTables {
    const ResourceEntry* resources;
    const ChunkEntry* chunks;
    std::uint32_t count;
};

// The installed tables when a guard is alive, else ResourceTable and ChunkTable with
// kResourceCount entries.
PayloadTables EmbeddedPayload();

// Installs tables for the lifetime of the guard and restores the previous ones afterwards. The
// tables must outlive the guard.
class ScopedPayload {
public:
    explicit ScopedPayload(const PayloadTables& tables);
    ~ScopedPayload();
    ScopedPayload(const ScopedPayload&) = delete;
    ScopedPayload& operator=(const ScopedPayload&) = delete;

private:
    const PayloadTables* previous_;
    PayloadTables tables_;
};

} // namespace launcher
