// Starts a program, waits for it and prints its peak private commit in bytes, read
// from the process with GetProcessMemoryInfo.   bench_launch EXE [ARGUMENTS...]
#include "base/unique_handle.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) return 2;
    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
    for (int i = 2; i < argc; ++i) commandLine += L" \"" + std::wstring(argv[i]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 3;
    elvara::UniqueKernelHandle child(process.hProcess);
    elvara::UniqueKernelHandle childThread(process.hThread);
    // Sample while it runs: a finished process may no longer report its counters.
    SIZE_T peak = 0;
    do {
        PROCESS_MEMORY_COUNTERS_EX counters{};
        counters.cb = sizeof(counters);
        if (GetProcessMemoryInfo(child.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters)))
            peak = std::max({peak, counters.PeakPagefileUsage, counters.PrivateUsage});
    } while (WaitForSingleObject(child.get(), 5) == WAIT_TIMEOUT);
    std::printf("%llu\n", static_cast<unsigned long long>(peak));
    return 0;
}
