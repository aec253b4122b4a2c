// The decision whether a running process has a file as its executable, from a process list given
// as plain values in the 8-bit form that Windows 2000 and XP give it: a match by either form of the
// path as the list would give it, and every case that cannot be decided counting as running.
#include "platform/win32/running_executable.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/fake_windows.h"

namespace {

using testing_support::DoubleByteCodePage;
using testing_support::ListedModulePath;
using testing_support::WesternCodePage;

const std::u16string kGreek = u"C:\\users\\\u0395\u03bb\u03ad\u03bd\u03b7\\DVT\\NQVQlar.exe";
const std::u16string kGreekShort = u"C:\\users\\ELENH~1\\DVT\\NQVQlar.exe";
// 250 Latin letters: 287 bytes in code page 1252, so the list cuts the path.
const std::u16string kDeep = u"C:\\users\\" + std::u16string(250, u'j') + u"\\DVT\\NQVQlar.exe";
// 130 ideographs: 260 bytes in a double-byte code page, so the list cuts the path.
const std::u16string kIdeographs = u"C:\\" + std::u16string(130, u'\u4E2D') + u"\\DVT\\NQVQlar.exe";

struct Process {
    unsigned long id;
    std::u16string path; // the executable's real path; empty where its modules cannot be read
};

template <typename CodePage> struct Case {
    const char* what;
    std::vector<std::u16string> forms; // the long path and its short form
    std::vector<Process> processes;
    bool runs;
};

// The process list as the system gives it, the file names and paths in the 8-bit code page.
template <typename CodePage>
bool Runs(const CodePage& page, const Case<CodePage>& c, bool listRead = true) {
    std::vector<platform::ProcessEntry> entries;
    std::map<unsigned long, std::string> modules;
    for (const Process& process : c.processes) {
        const std::u16string name = process.path.substr(process.path.rfind(u'\\') + 1);
        entries.push_back({process.id, page.Narrow(name)});
        if (process.path.find(u'\\') != 0) {
            modules[process.id] = ListedModulePath(page, process.path);
        }
    }
    return platform::ExecutableRuns(page, listRead, entries, c.forms,
                                    [&modules](unsigned long id, std::string& bytes) {
                                        const auto found = modules.find(id);
                                        if (found == modules.end()) {
                                            return false;
                                        }
                                        bytes = found->second;
                                        return true;
                                    });
}

TEST(RunningExecutable, MatchesTheListedFormsAndCountsTheUndecidedAsRunning) {
    const std::vector<std::u16string> greek = {kGreek, kGreekShort};
    const std::vector<std::u16string> latin = {u"C:\\users\\J\u00fcrgen\\DVT\\NQVQlar.exe", u""};
    const Case<WesternCodePage> western[] = {
        {"the list came back empty", greek, {}, true},
        {"only other programs run",
         greek,
         {{4, u"C:\\windows\\explorer.exe"}, {8, u"C:\\windows\\system32\\cmd.exe"}},
         false},
        {"started by the long path, listed with a ? for each Greek letter",
         greek,
         {{4, u"C:\\windows\\explorer.exe"}, {9, kGreek}},
         true},
        {"started by the short path", greek, {{9, kGreekShort}}, true},
        {"the short path in other letter case",
         greek,
         {{9, u"c:\\USERS\\elenh~1\\dvt\\nqvqlar.exe"}},
         true},
        {"started by a path inside the code page", latin, {{9, latin[0]}}, true},
        {"listed with a look-alike letter",
         {u"C:\\users\\Sz\u0151ke\\DVT\\NQVQlar.exe", u""},
         {{9, u"C:\\users\\Sz\u0151ke\\DVT\\NQVQlar.exe"}},
         true},
        {"a process of that name elsewhere", latin, {{9, u"C:\\other\\NQVQlar.exe"}}, false},
        {"a process of that name in another folder outside the code page",
         latin,
         {{9, u"C:\\\u4E2D\\NQVQlar.exe"}},
         true},
        {"a process of that name whose modules cannot be read",
         latin,
         {{9, u"\\NQVQlar.exe"}},
         true},
        {"another program's modules cannot be read", latin, {{4, u"\\system"}}, false},
        {"started by a path that the list cuts", {kDeep, u""}, {{9, kDeep}}, true},
        {"another path of that name that the list cuts",
         {latin[0], u""},
         {{9, kDeep.substr(0, 20) + u"x" + kDeep.substr(20)}},
         true},
    };
    for (const auto& c : western) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Runs(WesternCodePage(), c), c.runs);
    }
    EXPECT_TRUE(Runs(WesternCodePage(), western[1], false)) << "a list that could not be read";

    const Case<DoubleByteCodePage> doubleByte[] = {
        {"ideographs within the cut",
         {u"C:\\\u4E2D\\DVT\\NQVQlar.exe", u""},
         {{9, u"C:\\\u4E2D\\DVT\\NQVQlar.exe"}},
         true},
        {"another folder of ideographs",
         {u"C:\\\u4E2D\\DVT\\NQVQlar.exe", u""},
         {{9, u"C:\\\u4E2E\\DVT\\NQVQlar.exe"}},
         false},
        {"ideographs past the cut", {kIdeographs, u""}, {{9, kIdeographs}}, true},
    };
    for (const auto& c : doubleByte) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Runs(DoubleByteCodePage(), c), c.runs);
    }
}

} // namespace
