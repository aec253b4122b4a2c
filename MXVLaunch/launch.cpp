// Construction and destruction of the Launch base object.
#include "MXVLaunch/launch.h"

#include <cstdlib>

#include "platform/host.h"

Launch::Launch()
    : reportFailures(true), executionDirectory(), directoryCreated(false),
      binariesExtracted(false) {}

Launch::~Launch() {
    binariesExtracted = false;
}

void* Launch::operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return platform::host().Allocate(size);
}

void Launch::operator delete(void* memory) noexcept {
    std::free(memory);
}

void Launch::operator delete(void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
