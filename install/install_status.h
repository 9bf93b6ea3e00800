#pragma once
// What the install worker shares with the window that started it. The window
// reads these fields; the worker writes them and then posts WM_INSTALL_FINISHED.
#include "install/install_scope.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace elvara {

// Posted once by the install worker after its last write to the result fields.
inline constexpr UINT WM_INSTALL_FINISHED = WM_APP + 1;

struct InstallStatus {
    HWND window = nullptr;                 // receives WM_INSTALL_FINISHED
    std::mutex resultMutex;                // guards resultText and the end-of-install update
    std::atomic<std::uint32_t> progress{0}; // percent, written by the worker
    std::wstring resultText;               // the Finished page's message
    std::atomic<bool> succeeded{false};
    InstallScope scope = InstallScope::Machine; // set before the worker starts, read-only while it runs
};

} // namespace elvara
