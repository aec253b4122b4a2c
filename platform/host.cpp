// The host accessor and the guard that swaps in a test host.
#include "platform/host.h"

namespace platform {
namespace {
Host* installed = nullptr;
} // namespace

Host& host() {
    return installed != nullptr ? *installed : SystemHost();
}

ScopedHost::ScopedHost(Host& replacement) : previous_(installed) {
    installed = &replacement;
}

ScopedHost::~ScopedHost() {
    installed = previous_;
}

} // namespace platform
