// Test helper: reports on the setup window from outside its process.
//   window_probe licence      prints "visible V length N" for the licence control
//                             (V is 0 or 1, N its text length; "absent" when not created)
//   window_probe accessible   prints the name of the window's client object (MSAA), UTF-8
//   window_probe answers MS    prints "answers" (exit code 0) when the window handles a
//                             message within MS milliseconds, else "no answer" (exit code 1)
//   window_probe names        prints the window's title, its client's name and each item's
//                             name and default action, one per line, UTF-8
//   window_probe dialog       prints the title and the texts of the first message box, UTF-8
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <string>

namespace {

int printAccessibleName(HWND setup)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IAccessible* client = nullptr;
    int status = 1;
    if (SUCCEEDED(AccessibleObjectFromWindow(setup, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&client)))) {
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR name = nullptr;
        if (client->get_accName(self, &name) == S_OK && name != nullptr) {
            const int length = static_cast<int>(SysStringLen(name));
            std::string utf8(static_cast<std::size_t>(length) * 3, '\0');
            utf8.resize(static_cast<std::size_t>(
                WideCharToMultiByte(CP_UTF8, 0, name, length, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr)));
            std::puts(utf8.c_str());
            status = 0;
        }
        SysFreeString(name);
        client->Release();
    }
    if (status != 0) std::puts("no accessible object");
    CoUninitialize();
    return status;
}

std::string utf8Of(const wchar_t* text, int length)
{
    std::string utf8(static_cast<std::size_t>(length) * 3 + 1, '\0');
    utf8.resize(static_cast<std::size_t>(
        WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

void printBstr(BSTR text)
{
    if (text != nullptr) std::puts(utf8Of(text, static_cast<int>(SysStringLen(text))).c_str());
    SysFreeString(text);
}

void printTitle(HWND window)
{
    wchar_t title[512] = {};
    const int length = GetWindowTextW(window, title, 512);
    std::puts(utf8Of(title, length).c_str());
}

int printNames(HWND setup)
{
    printTitle(setup);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IAccessible* client = nullptr;
    if (FAILED(AccessibleObjectFromWindow(setup, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&client)))) {
        CoUninitialize();
        return 1;
    }
    long count = 0;
    client->get_accChildCount(&count);
    for (long child = 0; child <= count; ++child) {
        VARIANT id{};
        id.vt = VT_I4;
        id.lVal = child;
        BSTR name = nullptr;
        if (client->get_accName(id, &name) == S_OK) printBstr(name);
        BSTR action = nullptr;
        if (child > 0 && client->get_accDefaultAction(id, &action) == S_OK) printBstr(action);
    }
    client->Release();
    CoUninitialize();
    return 0;
}

BOOL CALLBACK printChildText(HWND child, LPARAM)
{
    wchar_t kind[64] = {};
    GetClassNameW(child, kind, 64);
    if (lstrcmpiW(kind, L"Static") == 0 || lstrcmpiW(kind, L"Button") == 0) printTitle(child);
    return TRUE;
}

int printDialog()
{
    HWND dialog = FindWindowW(L"#32770", nullptr);
    if (dialog == nullptr) {
        std::puts("no dialog");
        return 1;
    }
    printTitle(dialog);
    EnumChildWindows(dialog, printChildText, 0);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const bool licence = argc == 2 && lstrcmpW(argv[1], L"licence") == 0;
    const bool accessible = argc == 2 && lstrcmpW(argv[1], L"accessible") == 0;
    const bool answers = argc == 3 && lstrcmpW(argv[1], L"answers") == 0;
    const bool names = argc == 2 && lstrcmpW(argv[1], L"names") == 0;
    if (argc == 2 && lstrcmpW(argv[1], L"dialog") == 0) return printDialog();
    if (!licence && !accessible && !answers && !names) {
        std::fputs("usage: window_probe licence|accessible|names|dialog|answers MILLISECONDS\n", stderr);
        return 2;
    }
    HWND setup = FindWindowW(L"ElvaraSoundSetup", nullptr);
    if (setup == nullptr) {
        std::puts("no window");
        return 1;
    }
    if (accessible) return printAccessibleName(setup);
    if (names) return printNames(setup);
    // Never waits longer than asked: a window that stopped answering must not stop the test.
    const UINT limit = answers ? static_cast<UINT>(_wtoi(argv[2])) : 10000;
    DWORD_PTR reply = 0;
    if (answers) {
        const bool answered = SendMessageTimeoutW(setup, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, limit, &reply) != 0;
        std::puts(answered ? "answers" : "no answer");
        return answered ? 0 : 1;
    }
    HWND licenceControl = FindWindowExW(setup, nullptr, L"EDIT", nullptr);
    if (licenceControl == nullptr) {
        std::puts("absent");
        return 0;
    }
    if (SendMessageTimeoutW(licenceControl, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, limit, &reply) == 0) {
        std::puts("no answer");
        return 1;
    }
    std::printf("visible %d length %ld\n", IsWindowVisible(licenceControl) ? 1 : 0, static_cast<long>(reply));
    return 0;
}
