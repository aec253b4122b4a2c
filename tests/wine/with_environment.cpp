// A Windows test program, run under Wine: starts another program with some environment variables
// set, emptied or removed, and exits with its exit code. A program started from Linux cannot be
// given such an environment, because Wine sets USERPROFILE itself.
//   with_environment [NAME=VALUE | NAME]... -- PROGRAM
// NAME=VALUE sets the variable (an empty VALUE leaves it set to the empty text); a bare NAME
// removes it. The program inherits the standard handles and the current directory.
//
// Everything goes through the wide calls, so that a value in any script reaches the program whole,
// whatever the system's code page can hold. In a value, %uXXXX (four hexadecimal digits) stands for
// that one UTF-16 unit, so that a test can also give text that is no valid UTF-16, such as a
// surrogate out of its pair, which no Linux command line can carry.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring Unescape(const std::wstring& value) {
    std::wstring out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value.compare(i, 2, L"%u") == 0 && i + 6 <= value.size()) {
            out += static_cast<wchar_t>(std::wcstoul(value.substr(i + 2, 4).c_str(), nullptr, 16));
            i += 5;
        } else {
            out += value[i];
        }
    }
    return out;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    int i = 1;
    for (; i < argc && std::wstring(argv[i]) != L"--"; ++i) {
        const std::wstring setting = argv[i];
        const std::size_t equals = setting.find(L'=');
        const bool done =
            equals == std::wstring::npos
                ? ::SetEnvironmentVariableW(setting.c_str(), nullptr) != FALSE ||
                      ::GetEnvironmentVariableW(setting.c_str(), nullptr, 0) == 0
                : ::SetEnvironmentVariableW(setting.substr(0, equals).c_str(),
                                            Unescape(setting.substr(equals + 1)).c_str()) != FALSE;
        if (!done) {
            std::fwprintf(stderr, L"with_environment: cannot apply %ls\n", setting.c_str());
            return 2;
        }
    }
    if (i + 2 != argc) {
        std::fwprintf(stderr, L"usage: with_environment [NAME=VALUE | NAME]... -- PROGRAM\n");
        return 2;
    }
    const std::wstring program = argv[i + 1];
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup;
    ::ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                          nullptr, &startup, &started)) {
        std::fwprintf(stderr, L"with_environment: cannot start %ls\n", program.c_str());
        return 3;
    }
    ::WaitForSingleObject(started.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(started.hProcess, &code);
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return static_cast<int>(code);
}
