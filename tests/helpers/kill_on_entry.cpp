// Test helper: a kill at an exact step. Starts COMMAND_LINE, watches FOLDER and ends
// the process with TerminateProcess the moment an entry whose name starts with PREFIX
// appears there (made, or renamed into place), as a power cut at that step would. A
// PREFIX that ends in "$" is a whole name; one that starts with "*" is the end of a
// path anywhere below FOLDER ("*\\NAME": an entry NAME in any subfolder).
// Prints "killed" (exit 0) or "finished" (exit 1) when the process ended first.
//   kill_on_entry FOLDER PREFIX COMMAND_LINE
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

bool endsWith(const std::wstring& name, const std::wstring& end)
{
    return name.size() >= end.size() &&
           CompareStringOrdinal(name.c_str() + name.size() - end.size(), static_cast<int>(end.size()), end.c_str(),
                                static_cast<int>(end.size()), TRUE) == CSTR_EQUAL;
}

bool appeared(const std::vector<DWORD>& buffer, DWORD bytes, std::wstring prefix)
{
    const bool whole = !prefix.empty() && prefix.back() == L'$';
    if (whole) prefix.pop_back();
    const bool anywhere = !prefix.empty() && prefix.front() == L'*';
    if (bytes == 0) return false;
    auto* cursor = reinterpret_cast<const BYTE*>(buffer.data());
    for (;;) {
        const auto* change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(cursor);
        const std::wstring name(change->FileName, change->FileNameLength / sizeof(wchar_t));
        if ((change->Action == FILE_ACTION_ADDED || change->Action == FILE_ACTION_RENAMED_NEW_NAME) && anywhere &&
            endsWith(name, prefix.substr(1)))
            return true;
        if ((change->Action == FILE_ACTION_ADDED || change->Action == FILE_ACTION_RENAMED_NEW_NAME) && !anywhere &&
            CompareStringOrdinal(name.c_str(), static_cast<int>(std::min(name.size(), prefix.size())), prefix.c_str(),
                                 static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL &&
            name.size() >= prefix.size() && (!whole || name.size() == prefix.size()))
            return true;
        if (change->NextEntryOffset == 0) return false;
        cursor += change->NextEntryOffset;
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        std::fputs("usage: kill_on_entry FOLDER PREFIX COMMAND_LINE\n", stderr);
        return 2;
    }
    const std::wstring prefix = argv[2];
    HANDLE folder = CreateFileW(argv[1], FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot watch %ls (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    std::vector<DWORD> buffer(16384);
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const auto watch = [&] {
        ResetEvent(overlapped.hEvent);
        return ReadDirectoryChangesW(folder, buffer.data(), static_cast<DWORD>(buffer.size() * sizeof(DWORD)),
                                     prefix.starts_with(L"*"),
                                     FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_FILE_NAME, nullptr, &overlapped,
                                     nullptr) != FALSE;
    };
    if (!watch()) return 2; // watching before the process starts: nothing can slip past
    std::wstring command = argv[3];
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "cannot start %ls (error %lu)\n", argv[3], GetLastError());
        return 2;
    }
    const HANDLE waits[] = {overlapped.hEvent, process.hProcess};
    for (;;) {
        const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (which == WAIT_OBJECT_0 + 1) {
            std::puts("finished");
            return 1;
        }
        DWORD bytes = 0;
        if (!GetOverlappedResult(folder, &overlapped, &bytes, FALSE)) return 2;
        if (appeared(buffer, bytes, prefix)) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, INFINITE);
            std::puts("killed");
            return 0;
        }
        if (!watch()) return 2;
    }
}
