// Rebuilding one embedded file: gather its chunks, then decompress them with libbzip2 (or take them
// as they are for a stored file).
#include "payload/retrieve_resource.h"

#include <bzlib.h>

#include <cstdlib>
#include <cstring>

#include "platform/host.h"

namespace {

// Appends the data of every chunk named like the wanted file, from position start up to the end
// marker, to destination. The scan does not stop at the end of the file's run. Returns false when a
// chunk has a negative length or would not fit in the capacity left, so that a damaged table can
// never make it write past the buffer. gathered receives the number of bytes copied.
bool GatherChunks(const ChunkEntry* chunks, std::uint32_t start, const char* name,
                  char* destination, std::size_t capacity, std::size_t& gathered) {
    gathered = 0;
    for (const ChunkEntry* chunk = chunks + start; chunk->name[0] != '\0'; ++chunk) {
        if (std::strcmp(chunk->name, name) != 0) {
            continue;
        }
        if (chunk->length < 0 || static_cast<std::size_t>(chunk->length) > capacity - gathered) {
            return false;
        }
        std::memcpy(destination + gathered, chunk->data, static_cast<std::size_t>(chunk->length));
        gathered += static_cast<std::size_t>(chunk->length);
    }
    return true;
}

// The C allocator through the host, with at least one byte so that an empty file still gets a
// buffer of its own rather than a null that would read as a failure.
char* AllocateBuffer(std::size_t size) {
    return static_cast<char*>(platform::host().Allocate(size == 0 ? 1 : size));
}

} // namespace

char* RetrieveResource(const ResourceEntry* resources, const ChunkEntry* chunks,
                       std::uint32_t count, std::uint32_t index, std::int32_t* outSize) {
    if (index >= count) {
        return nullptr;
    }
    const ResourceEntry& wanted = resources[index];
    unsigned int size = wanted.uncompressedSize;
    char* result = AllocateBuffer(size);
    if (result == nullptr) {
        return nullptr;
    }

    if (wanted.compressedSize > 0) {
        const auto streamSize = static_cast<std::size_t>(wanted.compressedSize);
        char* staging = AllocateBuffer(streamSize);
        std::size_t gathered = 0;
        // The library is given only the bytes actually gathered, so a run shorter than the entry
        // says never hands it uninitialised memory; with a sound table the two are equal.
        if (staging == nullptr ||
            !GatherChunks(chunks, index, wanted.name, staging, streamSize, gathered) ||
            BZ2_bzBuffToBuffDecompress(result, &size, staging, static_cast<unsigned int>(gathered),
                                       0, 0) != BZ_OK) {
            std::free(result);
            result = nullptr;
        }
        std::free(staging);
    } else {
        // A stored file must fill its buffer exactly: a shorter run would leave bytes that nothing
        // wrote, and those must not reach the disk.
        std::size_t gathered = 0;
        if (!GatherChunks(chunks, index, wanted.name, result, size, gathered) || gathered != size) {
            std::free(result);
            result = nullptr;
        }
    }

    if (result != nullptr) {
        *outSize = static_cast<std::int32_t>(size);
    }
    return result;
}
