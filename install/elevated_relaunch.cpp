#include "install/elevated_relaunch.h"

#include "base/executable_path.h"
#include "base/unique_handle.h"

#include <shellapi.h>

namespace elvara {

bool startElevatedCopy(HWND owner, const wchar_t* parameters)
{
    const std::wstring path = executablePath();
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    // No error box of the shell's own: a failed start is reported by the caller.
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    request.hwnd = owner;
    request.lpVerb = L"runas";
    request.lpFile = path.c_str();
    request.lpParameters = parameters;
    request.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&request)) return false;
    UniqueKernelHandle elevatedCopy(request.hProcess); // never waited for
    return true;
}

ElevatedRun runElevatedCopy(const std::wstring& parameters)
{
    const std::wstring path = executablePath();
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    request.lpVerb = L"runas";
    request.lpFile = path.c_str();
    request.lpParameters = parameters.c_str();
    request.nShow = SW_HIDE;
    ElevatedRun run;
    if (!ShellExecuteExW(&request)) {
        run.startError = GetLastError();
        return run;
    }
    run.started = true;
    UniqueKernelHandle copy(request.hProcess);
    if (copy) {
        WaitForSingleObject(copy.get(), INFINITE);
        GetExitCodeProcess(copy.get(), &run.exitCode);
    }
    return run;
}

} // namespace elvara
