// Holds the setup window on its Installing page with the bar partly filled, so that a test
// can watch the page while it stays: the install worker (found by its thread name) is held
// at once, then let run until the progress bar, read through MSAA as a screen reader reads
// it, reaches 10 %, and held again for the seconds asked.
//   installing_hold SECONDS        prints "held N %" once held; exit code 0 after the hold
#include "worker_hold.h"

#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <cwchar>

namespace {

// The progress bar's value in percent; -1 while the page has none.
int progressOf(IAccessible* client)
{
    long count = 0;
    if (client->get_accChildCount(&count) != S_OK) return -1;
    for (long id = 1; id <= count; ++id) {
        VARIANT child{};
        child.vt = VT_I4;
        child.lVal = id;
        VARIANT role{};
        VariantInit(&role);
        if (client->get_accRole(child, &role) != S_OK || role.vt != VT_I4 || role.lVal != ROLE_SYSTEM_PROGRESSBAR) {
            VariantClear(&role);
            continue;
        }
        BSTR value = nullptr;
        if (client->get_accValue(child, &value) != S_OK || value == nullptr) return -1;
        const int percent = static_cast<int>(std::wcstol(value, nullptr, 10));
        SysFreeString(value);
        return percent;
    }
    return -1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const long seconds = argc == 2 ? std::wcstol(argv[1], nullptr, 10) : 0;
    if (seconds <= 0 || seconds > 25) {
        std::fputs("usage: installing_hold SECONDS (1 to 25)\n", stderr);
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HWND window = nullptr;
    for (int i = 0; i < 3000 && window == nullptr; ++i) {
        window = FindWindowW(L"ElvaraSoundSetup", nullptr);
        if (window == nullptr) Sleep(10);
    }
    DWORD process = 0;
    if (window != nullptr) GetWindowThreadProcessId(window, &process);
    WorkerHold hold(process, 120000);
    if (!hold.held()) {
        std::fputs(window == nullptr ? "no setup window\n" : "no install worker to hold\n", stderr);
        return 1;
    }
    IAccessible* client = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                          reinterpret_cast<void**>(&client)))) {
        std::fputs("the setup window cannot be read through MSAA\n", stderr);
        return 1;
    }
    int status = 1;
    int percent = -1;
    if (hold.runUntil([&] { return (percent = progressOf(client)) >= 10; }, 60000) && percent <= 80) {
        std::printf("held %d %%\n", progressOf(client));
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(seconds) * 1000);
        status = 0;
    } else {
        std::fprintf(stderr, "the progress was not held between 10 and 80 %% (%d %%)\n", percent);
    }
    client->Release();
    hold.release();
    CoUninitialize();
    return status;
}
