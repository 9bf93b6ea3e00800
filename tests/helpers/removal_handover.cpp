// Test helper: hands over to a self-removal copy as the uninstaller does, starting
// COPY --finish-removal <an inherited handle to this process>, and ends at once, so
// that a test can run the copy from a folder of its choosing. With RCFILE, it first
// gives the copy five seconds: the copy's exit code goes to RCFILE if it ended by then
// (a copy that refuses its folder does so at once), "waiting" if not (it waits for this
// process).
//   removal_handover COPY [RCFILE]
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2 && argc != 3) {
        std::fputs("usage: removal_handover COPY [RCFILE]\n", stderr);
        return 2;
    }
    HANDLE self = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                         SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0))
        return 1;
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\" --finish-removal " +
                           std::to_wstring(reinterpret_cast<std::uintptr_t>(self));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(argv[1], command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "cannot start %ls (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    CloseHandle(process.hThread);
    if (argc == 3) {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process.hProcess, 5000) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.hProcess, &code))
            code = STILL_ACTIVE;
        if (FILE* rc = _wfopen(argv[2], L"w")) {
            if (code == STILL_ACTIVE)
                std::fputs("waiting\n", rc);
            else
                std::fprintf(rc, "%lu\n", code);
            std::fclose(rc);
        }
    }
    CloseHandle(process.hProcess);
    std::puts("handed over");
    return 0;
}
