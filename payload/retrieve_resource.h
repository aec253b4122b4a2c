// Rebuilding one embedded file in memory from its chunks.
#pragma once

#include <cstdint>

#include "payload/payload_tables.h"

// Rebuilds the file at position index of resources from the chunk table. Returns a buffer from the
// C allocator that the caller releases with std::free, and stores the file's length in *outSize; or
// returns null, leaving *outSize alone, when the file cannot be rebuilt: index at or past count, a
// buffer that cannot be allocated, a damaged stream or one that needs more room than the entry's
// uncompressedSize, or a run of chunks that does not fit its buffer.
char* RetrieveResource(const ResourceEntry* resources, const ChunkEntry* chunks,
                       std::uint32_t count, std::uint32_t index, std::int32_t* outSize);
