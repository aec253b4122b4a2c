// The rule that tells an absolute Windows path from any other text, as a pure function, so that the
// Windows host and the test host apply the same rule and it can be tested on any machine.
#pragma once

#include <string>

namespace platform {

// True for a path that names one place whatever the current drive and directory are: a drive letter
// with a colon and a backslash ("C:\..."), or a UNC path with a server and a share
// ("\\server\share..."). Everything else is false: the empty text, a relative path ("DVT", "."), a
// path from the root of the current drive ("\DVT"), a path relative to a drive's current directory
// ("C:DVT"), a forward-slash form, and the device and verbatim namespaces ("\\.\", "\\?\"), which
// no profile or temporary directory uses.
inline bool IsAbsoluteWindowsPath(const std::string& path) {
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') {
        const char drive = path[0];
        return (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
    }
    if (path.size() < 2 || path[0] != '\\' || path[1] != '\\') {
        return false;
    }
    const std::size_t serverEnd = path.find('\\', 2);
    if (serverEnd == std::string::npos || serverEnd == 2) {
        return false;
    }
    const std::string server = path.substr(2, serverEnd - 2);
    if (server == "." || server == "?") {
        return false;
    }
    // The share name: at least one character that is not a separator.
    return serverEnd + 1 < path.size() && path[serverEnd + 1] != '\\';
}

} // namespace platform
