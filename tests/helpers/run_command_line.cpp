// Test helper: runs a complete command line the way a deployment tool runs a
// registry command (CreateProcessW with no separate program name), waits for it and
// returns its exit code. A process exit code is 32 bits on Windows while a Unix shell
// sees only its low byte, so the whole code can also be written to a file.
//   run_command_line "COMMAND LINE" [EXIT_CODE_FILE]
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2 && argc != 3) {
        std::fputs("usage: run_command_line \"COMMAND LINE\" [EXIT_CODE_FILE]\n", stderr);
        return 2;
    }
    std::wstring commandLine = argv[1];
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return 3;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (argc == 3) {
        FILE* file = _wfopen(argv[2], L"wb");
        if (file == nullptr) return 4;
        std::fprintf(file, "%lu\n", static_cast<unsigned long>(exitCode));
        std::fclose(file);
    }
    return static_cast<int>(exitCode);
}
