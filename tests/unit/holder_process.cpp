#include "unit/holder_process.h"

#include "base/path_text.h"

#include <windows.h>

namespace elvara {

HolderProcess::HolderProcess(const std::wstring& mode, const std::wstring& target)
{
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command =
        L"\"" + parentPath(self) + L"\\holder.exe\" --until-input-ends " + mode + L" \"" + target + L"\"";
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    UniqueKernelHandle childInput, childOutput;
    CreatePipe(childInput.put(), input_.put(), &inheritable, 0);
    CreatePipe(output_.put(), childOutput.put(), &inheritable, 0);
    SetHandleInformation(input_.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output_.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput.get();
    startup.hStdOutput = childOutput.get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started))
        return;
    process_.reset(started.hProcess);
    UniqueKernelHandle thread(started.hThread);
    childOutput.reset(); // so that the read below ends if the holder dies
    std::string said;
    char buffer[32];
    DWORD read = 0;
    while (said.find('\n') == std::string::npos && ReadFile(output_.get(), buffer, sizeof(buffer), &read, nullptr) &&
           read > 0)
        said.append(buffer, read);
    holding_ = said.starts_with("holding");
}

void HolderProcess::stop()
{
    input_.reset();
    if (process_) WaitForSingleObject(process_.get(), 30000);
    process_.reset();
}

} // namespace elvara
