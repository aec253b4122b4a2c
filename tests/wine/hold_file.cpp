// A test helper that holds a file the way another program might, until it is killed.
//   hold_file open PATH READY   keeps PATH open for reading and shares reading only, as a virus
//                               scanner that reads the file does;
//   hold_file lock PATH READY   opens PATH (creating it when missing), shares everything, and locks
//                               the far end of its byte range, beyond any data it will hold, where
//                               appenders to the file take their turn.
// Once it holds the file it creates the file READY, so that a test knows, and waits for ever. It
// exits with 1 when it cannot hold the file.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[1], "open") != 0 && std::strcmp(argv[1], "lock") != 0)) {
        std::fprintf(stderr, "usage: hold_file open|lock PATH READY\n");
        return 2;
    }
    const bool lock = std::strcmp(argv[1], "lock") == 0;
    const DWORD share =
        lock ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : FILE_SHARE_READ;
    HANDLE file = CreateFileA(argv[2], GENERIC_READ, share, nullptr,
                              lock ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED farEnd{};
    farEnd.OffsetHigh = 0x7FFFFFFFu;
    if (file == INVALID_HANDLE_VALUE ||
        (lock && !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                             0xFFFFFFFFu, 0, &farEnd))) {
        std::fprintf(stderr, "cannot hold %s: error %lu\n", argv[2], GetLastError());
        return 1;
    }
    CloseHandle(CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    Sleep(INFINITE);
    return 0;
}
