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

} // namespace elvara
