#include "install/elevated_relaunch.h"

#include "app/failure.h"
#include "app/installer.h"
#include "app/unique_handle.h"
#include "install/administrator.h"

#include <windows.h>
#include <shellapi.h>

namespace elvara {

std::wstring executablePath()
{
    constexpr DWORD capacity = 32768;
    std::wstring buffer(capacity, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), capacity);
    failIf(length == 0 || length == capacity, "Executable path unavailable");
    buffer.resize(length);
    return buffer;
}

void beginInstall(Installer& record)
{
    if (isElevatedAdministrator()) {
        record.execute();
        return;
    }
    const std::wstring path = executablePath();
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    // No error box of the shell's own: a failed start is reported on the Finished page.
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    request.hwnd = record.window;
    request.lpVerb = L"runas";
    request.lpFile = path.c_str();
    request.lpParameters = L"--perform";
    request.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&request)) {
        UniqueKernelHandle elevatedCopy(request.hProcess); // never waited for
        elevatedCopy.reset();
        DestroyWindow(record.window);
        return;
    }
    std::lock_guard lock(record.resultMutex);
    record.resultText = confirmationCancelledText;
    record.page = Finished;
    record.succeeded.store(false);
}

} // namespace elvara
