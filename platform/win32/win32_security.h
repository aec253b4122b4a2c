// The security descriptors of what the launcher creates on Windows: an access description of
// platform/access_rules.h turned into the system's records, for CreateFileW and CreateDirectoryW.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/access_rules.h"

namespace platform {

// A security descriptor built from access rules, with the access list and the identities that it
// points at, all owned by this object; it must outlive the call that it is given to.
class SecurityFromRules {
public:
    explicit SecurityFromRules(const AccessRules& rules);
    SecurityFromRules(const SecurityFromRules&) = delete;
    SecurityFromRules& operator=(const SecurityFromRules&) = delete;

    // The attributes to create the object with, or null when the descriptor could not be built
    // (the process's user could not be read, for example).
    SECURITY_ATTRIBUTES* Attributes() { return built_ ? &attributes_ : nullptr; }

private:
    bool Build(const AccessRules& rules);

    bool built_ = false;
    std::vector<unsigned char> user_;
    std::vector<unsigned char> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
};

} // namespace platform
