// A Windows test program, run under Wine: starts another program with some environment variables
// set, emptied or removed, and exits with its exit code. A program started from Linux cannot be
// given such an environment, because Wine sets USERPROFILE itself.
//   with_environment [NAME=VALUE | NAME]... -- PROGRAM
// NAME=VALUE sets the variable (an empty VALUE leaves it set to the empty text); a bare NAME
// removes it. The program inherits the standard handles and the current directory.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    int i = 1;
    for (; i < argc && std::string(argv[i]) != "--"; ++i) {
        const std::string setting = argv[i];
        const std::size_t equals = setting.find('=');
        const bool done =
            equals == std::string::npos
                ? ::SetEnvironmentVariableA(setting.c_str(), nullptr) != FALSE ||
                      ::GetEnvironmentVariableA(setting.c_str(), nullptr, 0) == 0
                : ::SetEnvironmentVariableA(setting.substr(0, equals).c_str(),
                                            setting.substr(equals + 1).c_str()) != FALSE;
        if (!done) {
            std::fprintf(stderr, "with_environment: cannot apply %s\n", setting.c_str());
            return 2;
        }
    }
    if (i + 2 != argc) {
        std::fprintf(stderr, "usage: with_environment [NAME=VALUE | NAME]... -- PROGRAM\n");
        return 2;
    }
    const std::string program = argv[i + 1];
    std::string quoted = "\"" + program + "\"";
    std::vector<char> commandLine(quoted.begin(), quoted.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup;
    ::ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          nullptr, &startup, &started)) {
        std::fprintf(stderr, "with_environment: cannot start %s\n", program.c_str());
        return 3;
    }
    ::WaitForSingleObject(started.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(started.hProcess, &code);
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return static_cast<int>(code);
}
