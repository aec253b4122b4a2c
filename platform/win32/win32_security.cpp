// Builds a security descriptor from access rules with the access-control functions that Windows
// 2000 has: the process token's user, the well-known identities from their fixed numbers, an
// access list filled entry by entry, and the protection bit. Nothing here loads another library,
// which the higher-level functions that take text or trustee records may do.
#include "platform/win32/win32_security.h"

namespace platform {
namespace {

// The access mask of each kind of right. Full control is spelled out rather than given as the
// generic right, so that the entry means the same on a file and on a directory. Reading and
// appending leaves out FILE_WRITE_DATA, without which a write can only go to the end, and every
// right to change the file's attributes, permissions or existence.
DWORD MaskOf(Rights rights) {
    return rights == Rights::FullControl ? FILE_ALL_ACCESS : FILE_GENERIC_READ | FILE_APPEND_DATA;
}

// The bytes of the process token's user identity; empty when they cannot be read.
std::vector<unsigned char> ProcessUser() {
    std::vector<unsigned char> user;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return user;
    }
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> record(size);
    if (size != 0 && ::GetTokenInformation(token, TokenUser, record.data(), size, &size)) {
        PSID sid = reinterpret_cast<TOKEN_USER*>(record.data())->User.Sid;
        const auto* bytes = static_cast<const unsigned char*>(sid);
        user.assign(bytes, bytes + ::GetLengthSid(sid));
    }
    ::CloseHandle(token);
    return user;
}

// A well-known identity of the NT authority, as one or two relative numbers.
struct WellKnown {
    BYTE count;
    DWORD first;
    DWORD second;
};

WellKnown WellKnownOf(Trustee who) {
    switch (who) {
    case Trustee::System:
        return {1, SECURITY_LOCAL_SYSTEM_RID, 0};
    case Trustee::Administrators:
        return {2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS};
    case Trustee::AuthenticatedUsers:
    case Trustee::RunningUser:
        break;
    }
    return {1, SECURITY_AUTHENTICATED_USER_RID, 0};
}

} // namespace

SecurityFromRules::SecurityFromRules(const AccessRules& rules) {
    built_ = Build(rules);
}

bool SecurityFromRules::Build(const AccessRules& rules) {
    user_ = ProcessUser();
    if (user_.empty()) {
        return false;
    }
    // The identities, each freed with FreeSid but for the user's, which this object holds.
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    std::vector<PSID> sids;
    std::vector<PSID> allocated;
    bool ok = true;
    for (std::size_t i = 0; i < rules.count && ok; ++i) {
        if (rules.entries[i].who == Trustee::RunningUser) {
            sids.push_back(user_.data());
            continue;
        }
        const WellKnown known = WellKnownOf(rules.entries[i].who);
        PSID sid = nullptr;
        ok = ::AllocateAndInitializeSid(&nt, known.count, known.first, known.second, 0, 0, 0, 0, 0,
                                        0, &sid) != FALSE;
        if (ok) {
            allocated.push_back(sid);
            sids.push_back(sid);
        }
    }
    // The list's size: its header, and for each entry the entry without its first identity word,
    // plus the identity.
    DWORD size = sizeof(ACL);
    for (std::size_t i = 0; i < sids.size() && ok; ++i) {
        size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(sids[i]);
    }
    acl_.assign(size, 0);
    PACL acl = reinterpret_cast<PACL>(acl_.data());
    ok = ok && ::InitializeAcl(acl, size, ACL_REVISION);
    for (std::size_t i = 0; i < sids.size() && ok; ++i) {
        const AccessEntry& entry = rules.entries[i];
        const DWORD inheritance =
            entry.inheritedByContents ? OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE : 0;
        ok = ::AddAccessAllowedAceEx(acl, ACL_REVISION, inheritance, MaskOf(entry.rights),
                                     sids[i]) != FALSE;
    }
    for (PSID sid : allocated) {
        ::FreeSid(sid);
    }
    ok = ok && ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
         ::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE);
    if (ok && rules.shutsOutParent) {
        ok = ::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED) !=
             FALSE;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    return ok;
}

} // namespace platform
