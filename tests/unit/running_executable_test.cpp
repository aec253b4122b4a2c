// The decision whether a running process has a file as its executable, from a process list given
// as plain values: a match by either form of the path, and every case that cannot be decided
// counting as running.
#include "platform/win32/running_executable.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using Entry = platform::ProcessEntry<std::u16string>;

const std::u16string kLong = u"C:\\users\\\u0395\u03bb\u03ad\u03bd\u03b7\\DVT\\NQVQlar.exe";
const std::u16string kShort = u"C:\\users\\____~FXL\\DVT\\NQVQlar.exe";

struct Case {
    const char* what;
    bool listRead;
    std::vector<Entry> processes;
    // The executables' full paths by process id; a process missing here has a module list that
    // cannot be read.
    std::map<unsigned long, std::u16string> executables;
    bool runs;
};

TEST(RunningExecutable, MatchesEitherFormAndCountsTheUndecidedAsRunning) {
    const Case cases[] = {
        {"the list could not be read", false, {}, {}, true},
        {"the list came back empty", true, {}, {}, true},
        {"only other programs run",
         true,
         {{4, u"explorer.exe"}, {8, u"cmd.exe"}},
         {{4, u"C:\\windows\\explorer.exe"}, {8, u"C:\\windows\\system32\\cmd.exe"}},
         false},
        {"listed and started by the long path",
         true,
         {{4, u"explorer.exe"}, {9, u"NQVQlar.exe"}},
         {{4, u"C:\\windows\\explorer.exe"}, {9, kLong}},
         true},
        {"started by the short path", true, {{9, u"NQVQLAR.EXE"}}, {{9, kShort}}, true},
        {"the short path in other letter case",
         true,
         {{9, u"nqvqlar.exe"}},
         {{9, u"c:\\USERS\\____~fxl\\dvt\\nqvqlar.exe"}},
         true},
        {"a process of that name elsewhere",
         true,
         {{9, u"NQVQlar.exe"}},
         {{9, u"C:\\other\\NQVQlar.exe"}},
         false},
        {"a process of that name whose modules cannot be read",
         true,
         {{9, u"NQVQlar.exe"}},
         {},
         true},
        {"another program's modules cannot be read", true, {{4, u"system"}}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto modulePath = [&c](unsigned long id, std::u16string& path) {
            const auto found = c.executables.find(id);
            if (found == c.executables.end()) {
                return false;
            }
            path = found->second;
            return true;
        };
        EXPECT_EQ(platform::ExecutableRuns(c.listRead, c.processes, {kLong, kShort}, modulePath),
                  c.runs);
    }
}

} // namespace
