// A test helper that starts one program COUNT times at the same instant, for the tests of launchers
// that race each other: every process is created suspended, and only when all exist are they
// resumed together. They share this program's standard streams and environment. It waits for all
// of them and prints "exit I CODE" for each, in the order they were created; its own exit code is 0
// when all were started.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: start_together COUNT PROGRAM\n");
        return 2;
    }
    const int count = std::atoi(argv[1]);
    std::vector<PROCESS_INFORMATION> started;
    for (int i = 0; i < count; ++i) {
        std::string commandLine = std::string("\"") + argv[2] + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(argv[2], &commandLine[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                            nullptr, nullptr, &startup, &process)) {
            std::fprintf(stderr, "cannot start %s: error %lu\n", argv[2], GetLastError());
            return 1;
        }
        started.push_back(process);
    }
    for (const PROCESS_INFORMATION& process : started) {
        ResumeThread(process.hThread);
    }
    for (std::size_t i = 0; i < started.size(); ++i) {
        WaitForSingleObject(started[i].hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(started[i].hProcess, &code);
        std::printf("exit %u %lu\n", static_cast<unsigned>(i), code);
        CloseHandle(started[i].hThread);
        CloseHandle(started[i].hProcess);
    }
    std::fflush(stdout);
    return 0;
}
