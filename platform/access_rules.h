// The rules for what the launcher writes and creates in folders that other people can write to, as
// pure descriptions over plain values: when an opened run log may be written, and who gets which
// rights to a run log and to an execution directory that the launcher creates. The hosts turn them
// into the system's own calls and records, and tests check them on any machine.
#pragma once

#include <cstddef>

namespace platform {

// The bits of a Windows file's attribute word that the run-log rule looks at, with the values that
// the system gives them.
constexpr unsigned kAttributeDirectory = 0x10;
constexpr unsigned kAttributeDevice = 0x40;
constexpr unsigned kAttributeReparsePoint = 0x400;

// True when a file that was opened without following a link may be appended to as the run log: a
// plain file with exactly one name. A second name (a hard link) would let whoever made it choose
// the file that the entries land in; a reparse point (a symbolic link, a junction), a directory or
// a device is no log file at all. A link count of 0 (a file already deleted) is refused as well.
inline bool IsAppendableRunLog(unsigned long linkCount, unsigned attributes) {
    return linkCount == 1 &&
           (attributes & (kAttributeDirectory | kAttributeDevice | kAttributeReparsePoint)) == 0;
}

// Who an entry of an access list is for.
enum class Trustee {
    RunningUser,        // the user that the launcher's process runs as (its token's user)
    System,             // the operating system itself (LocalSystem)
    Administrators,     // the machine's Administrators group
    AuthenticatedUsers, // every account that has logged on, local, domain or service
};

// What an entry grants.
enum class Rights {
    FullControl,   // everything, changing the permissions and deleting included
    ReadAndAppend, // reading, and writing at the end only: no overwriting, no truncating
};

// One entry of an access list that grants rights.
struct AccessEntry {
    Trustee who;
    Rights rights;
    // Whether files and folders created inside take the entry on.
    bool inheritedByContents;
};

// A whole access list: its entries, and whether the object shuts out what its parent folder would
// pass on to it, so that the entries are all the access there is.
struct AccessRules {
    const AccessEntry* entries;
    std::size_t count;
    bool shutsOutParent;
};

// A run log that the launcher creates. Every user of the machine may read it and append an entry,
// so that the log stays usable for the next user on a shared machine; only its creator, the system
// and the administrators may do more. The whole group of logged-on accounts is named rather than
// the Users group, whose members an administrator may trim, and which does not hold every service
// account that a scheduled task runs as; anonymous and guest sessions stay out.
inline AccessRules RunLogAccess() {
    static constexpr AccessEntry kEntries[] = {
        {Trustee::RunningUser, Rights::FullControl, false},
        {Trustee::System, Rights::FullControl, false},
        {Trustee::Administrators, Rights::FullControl, false},
        {Trustee::AuthenticatedUsers, Rights::ReadAndAppend, false},
    };
    return {kEntries, sizeof kEntries / sizeof kEntries[0], true};
}

// The execution directory: its user's alone, besides the system and the administrators, and so is
// everything extracted into it. It takes nothing from the folder it lies in, which may let anyone
// create files.
inline AccessRules ExecutionDirectoryAccess() {
    static constexpr AccessEntry kEntries[] = {
        {Trustee::RunningUser, Rights::FullControl, true},
        {Trustee::System, Rights::FullControl, true},
        {Trustee::Administrators, Rights::FullControl, true},
    };
    return {kEntries, sizeof kEntries / sizeof kEntries[0], true};
}

} // namespace platform
