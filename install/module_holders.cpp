#include "install/module_holders.h"

#include <windows.h>
#include <restartmanager.h>

#include <algorithm>

namespace elvara {

namespace {

// Ends the Restart Manager session on every path.
class RestartManagerSession {
public:
    RestartManagerSession() noexcept
    {
        wchar_t key[CCH_RM_SESSION_KEY + 1] = {};
        started_ = RmStartSession(&handle_, 0, key) == ERROR_SUCCESS;
    }
    ~RestartManagerSession()
    {
        if (started_) RmEndSession(handle_);
    }
    RestartManagerSession(const RestartManagerSession&) = delete;
    RestartManagerSession& operator=(const RestartManagerSession&) = delete;

    bool started() const noexcept { return started_; }
    DWORD handle() const noexcept { return handle_; }

private:
    DWORD handle_ = 0;
    bool started_ = false;
};

} // namespace

std::vector<std::wstring> applicationsHolding(const std::wstring& path) noexcept
{
    try {
        RestartManagerSession session;
        if (!session.started()) return {};
        LPCWSTR files[] = {path.c_str()};
        if (RmRegisterResources(session.handle(), 1, files, 0, nullptr, 0, nullptr) != ERROR_SUCCESS) return {};
        std::vector<RM_PROCESS_INFO> processes(8);
        UINT needed = 0;
        UINT count = static_cast<UINT>(processes.size());
        DWORD reasons = 0;
        DWORD status = RmGetList(session.handle(), &needed, &count, processes.data(), &reasons);
        if (status == ERROR_MORE_DATA && needed <= 256) {
            processes.resize(needed);
            count = needed;
            status = RmGetList(session.handle(), &needed, &count, processes.data(), &reasons);
        }
        if (status != ERROR_SUCCESS) return {};
        std::vector<std::wstring> names;
        for (UINT i = 0; i < count && i < processes.size(); ++i) {
            std::wstring name(processes[i].strAppName);
            if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
        }
        return names;
    } catch (...) {
        return {};
    }
}

std::wstring holdersSentence(const std::vector<std::wstring>& applications)
{
    if (applications.empty()) return {};
    std::wstring sentence = L" In use by: ";
    for (std::size_t i = 0; i < applications.size(); ++i) sentence += (i == 0 ? L"" : L", ") + applications[i];
    return sentence + L".";
}

} // namespace elvara
