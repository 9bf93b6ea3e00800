// Test helper: runs a program with this process's standard streams, waits for it,
// and writes its whole exit code to a file. The Unix side of Wine sees only the low
// eight bits of an exit code (1618 arrives as 82).
//   exit_code_reporter CODE_FILE EXE [ARGUMENTS...]
#include "base/unique_handle.h"
#include "command_line_quoting.h"

#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fputs("usage: exit_code_reporter CODE_FILE EXE [ARGUMENTS...]\n", stderr);
        return 2;
    }
    std::wstring commandLine = test_helpers::commandLineFrom(argc, argv, 2);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(argv[2], commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return 3;
    const elvara::UniqueKernelHandle child(process.hProcess);
    const elvara::UniqueKernelHandle childThread(process.hThread);
    WaitForSingleObject(child.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(child.get(), &exitCode);
    FILE* file = _wfopen(argv[1], L"w");
    if (file == nullptr) return 4;
    std::fprintf(file, "%lu\n", exitCode);
    std::fclose(file);
    return 0;
}
