#pragma once
// Test helpers' hold on the wizard's install worker, found in the setup process by its
// thread name.
#include "ui/wizard_state.h"

#include <windows.h>
#include <tlhelp32.h>

// Holds the wizard's install worker on the Installing page long enough to read it, instead
// of racing it: the thread by its name is suspended as soon as it exists (the package is
// still being verified then), and let go when the hold ends. A watchdog lets it go after
// 30 s (or the time given) in any case, should the held thread hold something that the
// window needs.
class WorkerHold {
public:
    // The watchdog lets the thread go after the given time at the latest.
    explicit WorkerHold(DWORD process, DWORD longestHold = 30000) : longestHold_(longestHold)
    {
        const ULONGLONG end = GetTickCount64() + 10000;
        while (worker_ == nullptr && GetTickCount64() < end) {
            worker_ = findWorker(process);
            if (worker_ == nullptr) Sleep(1);
        }
        if (worker_ == nullptr || SuspendThread(worker_) == static_cast<DWORD>(-1)) return;
        held_ = true;
        released_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        watchdog_ = CreateThread(nullptr, 0, &WorkerHold::watch, this, 0, nullptr);
    }
    ~WorkerHold()
    {
        release();
        if (watchdog_ != nullptr) {
            WaitForSingleObject(watchdog_, INFINITE);
            CloseHandle(watchdog_);
        }
        if (released_ != nullptr) CloseHandle(released_);
        if (worker_ != nullptr) CloseHandle(worker_);
    }
    WorkerHold(const WorkerHold&) = delete;
    WorkerHold& operator=(const WorkerHold&) = delete;

    bool held() const { return held_; }
    void release()
    {
        if (released_ != nullptr) SetEvent(released_);
    }
    // Lets the held thread run until the condition holds (or the time is up), then holds it
    // again: one suspension more, rather than many, since each may catch it inside a lock.
    template <typename Condition>
    bool runUntil(Condition condition, DWORD milliseconds)
    {
        if (!held_) return false;
        ResumeThread(worker_);
        const ULONGLONG end = GetTickCount64() + milliseconds;
        bool reached = false;
        while (!(reached = condition()) && GetTickCount64() < end) Sleep(1);
        SuspendThread(worker_);
        return reached;
    }

private:
    static HANDLE findWorker(DWORD process)
    {
        using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
        static const auto describe = reinterpret_cast<GetDescription>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
        if (describe == nullptr) return nullptr;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return nullptr;
        HANDLE found = nullptr;
        THREADENTRY32 entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Thread32First(snapshot, &entry); more && found == nullptr; more = Thread32Next(snapshot, &entry)) {
            if (entry.th32OwnerProcessID != process) continue;
            HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
            if (thread == nullptr) continue;
            PWSTR name = nullptr;
            if (SUCCEEDED(describe(thread, &name)) && name != nullptr && lstrcmpW(name, elvara::installWorkerThreadName) == 0)
                found = thread;
            LocalFree(name);
            if (found == nullptr) CloseHandle(thread);
        }
        CloseHandle(snapshot);
        return found;
    }
    static DWORD WINAPI watch(void* self)
    {
        auto* hold = static_cast<WorkerHold*>(self);
        WaitForSingleObject(hold->released_, hold->longestHold_);
        ResumeThread(hold->worker_);
        return 0;
    }

    HANDLE worker_ = nullptr;
    HANDLE released_ = nullptr;
    HANDLE watchdog_ = nullptr;
    bool held_ = false;
    DWORD longestHold_;
};
