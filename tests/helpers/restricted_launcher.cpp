// Test helper: starts a program the way an administrator's unelevated session
// would, with the Administrators group disabled in its token, waits for it and
// returns its exit code.
//   restricted_launcher EXE [ARGUMENTS...]
#include "base/unique_handle.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring quoted(const std::wstring& word)
{
    if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) return word;
    std::wstring out = L"\"";
    for (wchar_t c : word) {
        if (c == L'"') out += L'\\';
        out += c;
    }
    return out + L"\"";
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fputs("usage: restricted_launcher EXE [ARGUMENTS...]\n", stderr);
        return 2;
    }
    using namespace elvara;
    UniqueKernelHandle processToken;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, processToken.put())) return 3;
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    UniqueSid administrators;
    AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                             administrators.put());
    SID_AND_ATTRIBUTES disabled{administrators.get(), 0};
    // Start from the limited token linked to this elevated one where the system has
    // it, so that "runas" from the child finds the elevated token again.
    UniqueKernelHandle base;
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    if (GetTokenInformation(processToken.get(), TokenLinkedToken, &linked, sizeof(linked), &size))
        base.reset(linked.LinkedToken);
    UniqueKernelHandle restricted;
    if (!CreateRestrictedToken(base ? base.get() : processToken.get(), 0, 1, &disabled, 0, nullptr, 0, nullptr,
                               restricted.put()))
        return 4;
    std::wstring commandLine = quoted(argv[1]);
    for (int i = 2; i < argc; ++i) commandLine += L" " + quoted(argv[i]);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessAsUserW(restricted.get(), argv[1], commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                              &startup, &process))
        return 5;
    UniqueKernelHandle child(process.hProcess);
    UniqueKernelHandle childThread(process.hThread);
    WaitForSingleObject(child.get(), INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(child.get(), &exitCode);
    return static_cast<int>(exitCode);
}
