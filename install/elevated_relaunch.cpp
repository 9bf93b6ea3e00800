#include "install/elevated_relaunch.h"

#include "base/executable_path.h"
#include "base/report_channel.h"
#include "base/unique_handle.h"

#include <shellapi.h>

#include <thread>

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

namespace {

ElevatedRun runAndWait(const std::wstring& parameters, int show)
{
    const std::wstring path = executablePath();
    const report_channel::Listener listener = report_channel::listen();
    const std::wstring withChannel = parameters + L" " + reportPipeSwitch + L" " + listener.name;
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    request.lpVerb = L"runas";
    request.lpFile = path.c_str();
    request.lpParameters = withChannel.c_str();
    request.nShow = show;
    ElevatedRun run;
    std::thread forwarder([&listener] { report_channel::forwardUntilClosed(listener); });
    if (!ShellExecuteExW(&request)) {
        run.startError = GetLastError();
    } else {
        run.started = true;
        UniqueKernelHandle copy(request.hProcess);
        if (copy) {
            WaitForSingleObject(copy.get(), INFINITE);
            GetExitCodeProcess(copy.get(), &run.exitCode);
        }
    }
    report_channel::release(listener);
    forwarder.join();
    return run;
}

} // namespace

ElevatedRun runElevatedCopy(const std::wstring& parameters) { return runAndWait(parameters, SW_HIDE); }

ElevatedRun runElevatedCopyWithWindows(const std::wstring& parameters)
{
    return runAndWait(parameters, SW_SHOWNORMAL);
}

} // namespace elvara
