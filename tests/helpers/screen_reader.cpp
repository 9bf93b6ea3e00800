// Test helper: reads and drives the setup window from its own process through MSAA,
// as a screen reader does. Walks every page (names, roles, states, values,
// locations, hit-testing), installs through default actions only, listens for the
// page change, checkbox, progress and focus events, and closes the wizard at the end.
//   screen_reader install          prints each page's tree and "FAIL ..." lines; exit code 0 when all held
//   screen_reader install-for-me   the same, ticking "only for me" on the Ready page
//   screen_reader focus-away       with an item focused by the keyboard, gives the focus to a
//                                  window of its own: then no item may claim the focus
#include "install/install_worker.h"
#include "ui/wizard_state.h"

#include <windows.h>
#include <oleacc.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwctype>
#include <string>
#include <vector>

namespace {

int failures = 0;

void check(bool condition, const char* what)
{
    if (!condition) {
        ++failures;
        std::printf("FAIL %s\n", what);
    } else {
        std::printf("ok   %s\n", what);
    }
    std::fflush(stdout);
}

std::string narrow(const std::wstring& text)
{
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

// Events are only queued in the callback: a cross-process call made inside it would
// re-enter it.
struct Event {
    DWORD event;
    HWND window;
    LONG object;
    LONG child;
};
std::vector<Event> events;
HWND setupWindow = nullptr;

void CALLBACK onEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD)
{
    if (window == setupWindow && object == OBJID_CLIENT) events.push_back({event, window, object, child});
}

void pump(DWORD milliseconds)
{
    const ULONGLONG end = GetTickCount64() + milliseconds;
    MSG message{};
    do {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(1);
    } while (GetTickCount64() < end);
}

template <typename Predicate>
bool waitUntil(Predicate predicate, DWORD milliseconds)
{
    const ULONGLONG end = GetTickCount64() + milliseconds;
    while (GetTickCount64() < end) {
        if (predicate()) return true;
        pump(2);
    }
    return predicate();
}

bool sawEvent(DWORD event, LONG child)
{
    for (const Event& seen : events)
        if (seen.event == event && (child < 0 || seen.child == child)) return true;
    return false;
}

VARIANT childVariant(long id)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

std::wstring take(BSTR text)
{
    std::wstring out = text != nullptr ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return out;
}

struct Node {
    long id = 0;
    long role = 0;
    long state = 0;
    std::wstring name;
    std::wstring value;
    bool object = false; // a child with an object of its own (the licence control)
    IAccessible* accessible = nullptr; // not owned: the client, or the object child
};

struct Page {
    IAccessible* client = nullptr;
    std::wstring name;
    long role = 0;
    std::vector<Node> children;
    std::vector<IAccessible*> objects; // released with the page

    Page() = default;
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;
    Page(Page&& other) noexcept : client(other.client), name(std::move(other.name)), role(other.role),
        children(std::move(other.children)), objects(std::move(other.objects)) {}
    ~Page() { for (IAccessible* object : objects) object->Release(); }

    const Node* find(long role, const std::wstring& name) const
    {
        for (const Node& node : children)
            if (node.role == role && (name.empty() || node.name == name)) return &node;
        return nullptr;
    }
};

Node readNode(IAccessible* accessible, long id)
{
    Node node;
    node.id = id;
    node.accessible = accessible;
    VARIANT self = childVariant(id);
    BSTR text = nullptr;
    if (accessible->get_accName(self, &text) == S_OK) node.name = take(text);
    text = nullptr;
    if (accessible->get_accValue(self, &text) == S_OK) node.value = take(text);
    VARIANT out;
    VariantInit(&out);
    if (accessible->get_accRole(self, &out) == S_OK && out.vt == VT_I4) node.role = out.lVal;
    VariantClear(&out);
    if (accessible->get_accState(self, &out) == S_OK && out.vt == VT_I4) node.state = out.lVal;
    VariantClear(&out);
    return node;
}

Page readPage(IAccessible* client)
{
    Page page;
    page.client = client;
    const Node self = readNode(client, CHILDID_SELF);
    page.name = self.name;
    page.role = self.role;
    long count = 0;
    client->get_accChildCount(&count);
    for (long id = 1; id <= count; ++id) {
        IDispatch* dispatch = nullptr;
        const HRESULT result = client->get_accChild(childVariant(id), &dispatch);
        IAccessible* object = nullptr;
        if (result == S_OK && dispatch != nullptr) {
            dispatch->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&object));
            dispatch->Release();
        }
        if (object != nullptr) {
            page.objects.push_back(object);
            Node node = readNode(object, CHILDID_SELF);
            node.id = id;
            node.object = true;
            page.children.push_back(std::move(node));
        } else {
            page.children.push_back(readNode(client, id));
        }
    }
    std::printf("page \"%s\" role %ld, %zu children\n", narrow(page.name).c_str(), page.role, page.children.size());
    for (const Node& node : page.children)
        std::printf("  %ld: role %ld state 0x%lx%s \"%.60s\" value \"%.40s\" (%zu)\n", node.id, node.role, node.state,
                    node.object ? " object" : "", narrow(node.name).c_str(), narrow(node.value).c_str(),
                    node.value.size());
    std::fflush(stdout);
    return page;
}

std::wstring clientName(IAccessible* client)
{
    BSTR text = nullptr;
    return client->get_accName(childVariant(CHILDID_SELF), &text) == S_OK ? take(text) : std::wstring();
}

std::wstring titled(const wchar_t* page) { return std::wstring(page) + L" \u00B7 ElvaraSound Setup"; }

bool press(IAccessible* client, const Node* node)
{
    return node != nullptr && SUCCEEDED(client->accDoDefaultAction(childVariant(node->id)));
}

// Presses and waits for the page of that name.
bool pressInto(IAccessible* client, const Page& page, const wchar_t* button, const wchar_t* next)
{
    const Node* node = page.find(ROLE_SYSTEM_PUSHBUTTON, button);
    if (!press(client, node)) return false;
    return waitUntil([&] { return clientName(client) == titled(next); }, 10000);
}

long focusedChildren(const Page& page)
{
    long focused = 0;
    for (const Node& node : page.children)
        if (node.state & STATE_SYSTEM_FOCUSED) ++focused;
    return focused;
}

bool accFocusNamesSomething(IAccessible* client)
{
    VARIANT focus;
    VariantInit(&focus);
    const HRESULT result = client->get_accFocus(&focus);
    const bool named = result == S_OK && focus.vt != VT_EMPTY;
    VariantClear(&focus);
    return named;
}

void focusAway(IAccessible* client)
{
    {
        const Page page = readPage(client);
        check(focusedChildren(page) == 1, "before: the item that Tab reached is focused");
        check(accFocusNamesSomething(client), "before: accFocus names it");
    }
    WNDCLASSW kind{};
    kind.lpfnWndProc = DefWindowProcW;
    kind.hInstance = GetModuleHandleW(nullptr);
    kind.lpszClassName = L"ElvaraReaderWindow";
    RegisterClassW(&kind);
    HWND other = CreateWindowExW(0, kind.lpszClassName, L"Another window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                                 320, 200, nullptr, nullptr, kind.hInstance, nullptr);
    SetForegroundWindow(other);
    SetFocus(other);
    check(waitUntil([other] { return GetForegroundWindow() == other && GetFocus() == other; }, 5000),
          "another window has the focus");
    pump(300);
    {
        const Page page = readPage(client);
        check(focusedChildren(page) == 0, "after: no item is focused");
        check(!(readNode(client, CHILDID_SELF).state & STATE_SYSTEM_FOCUSED), "after: the client is not focused");
        check(!accFocusNamesSomething(client), "after: accFocus names nothing");
    }
    DestroyWindow(other);
}

// Holds the wizard's install worker on the Installing page long enough to read it, instead
// of racing it: the thread by its name is suspended as soon as it exists (the package is
// still being verified then), and let go when the hold ends. A watchdog lets it go after
// 30 s in any case, should the held thread hold something that the window needs.
class WorkerHold {
public:
    explicit WorkerHold(DWORD process)
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
        WaitForSingleObject(hold->released_, 30000);
        ResumeThread(hold->worker_);
        return 0;
    }

    HANDLE worker_ = nullptr;
    HANDLE released_ = nullptr;
    HANDLE watchdog_ = nullptr;
    bool held_ = false;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const bool forMe = argc == 2 && lstrcmpW(argv[1], L"install-for-me") == 0;
    const bool away = argc == 2 && lstrcmpW(argv[1], L"focus-away") == 0;
    if (argc != 2 || (!forMe && !away && lstrcmpW(argv[1], L"install") != 0)) {
        std::fputs("usage: screen_reader install | install-for-me | focus-away\n", stderr);
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (int i = 0; i < 300 && setupWindow == nullptr; ++i) {
        setupWindow = FindWindowW(L"ElvaraSoundSetup", nullptr);
        if (setupWindow == nullptr) Sleep(100);
    }
    if (setupWindow == nullptr) {
        std::puts("FAIL no setup window");
        return 1;
    }
    DWORD process = 0;
    GetWindowThreadProcessId(setupWindow, &process);
    // Out of context with a process filter only: with WINEVENT_SKIPOWNPROCESS as well, Wine delivers nothing.
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, onEvent, process, 0, WINEVENT_OUTOFCONTEXT);
    check(hook != nullptr, "event hook");

    IAccessible* client = nullptr;
    HRESULT result = AccessibleObjectFromWindow(setupWindow, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                                reinterpret_cast<void**>(&client));
    check(SUCCEEDED(result) && client != nullptr, "the client object through WM_GETOBJECT");
    if (client == nullptr) return 1;

    if (away) {
        focusAway(client);
        client->Release();
        if (hook != nullptr) UnhookWinEvent(hook);
        CoUninitialize();
        std::printf("%d failed\n", failures);
        return failures == 0 ? 0 : 1;
    }

    RECT clientArea{};
    GetClientRect(setupWindow, &clientArea);
    const double scale = clientArea.right / 780.0;
    POINT origin{0, 0};
    ClientToScreen(setupWindow, &origin);

    // ---- Welcome
    {
        const Page page = readPage(client);
        check(page.name == titled(L"Welcome"), "Welcome: the client is named after the page");
        check(page.role == ROLE_SYSTEM_CLIENT, "Welcome: role client");
        check(page.find(ROLE_SYSTEM_STATICTEXT, L"Your master bus. Upgraded.") != nullptr, "Welcome: headline");
        check(page.find(ROLE_SYSTEM_GROUPING, L"MERIDIAN + VALE / YOUR VERIFIED ACCOUNT") != nullptr, "Welcome: card");
        check(page.find(ROLE_SYSTEM_PUSHBUTTON, L"Back") == nullptr, "Welcome: no Back");
        const Node* next = page.find(ROLE_SYSTEM_PUSHBUTTON, L"Continue");
        check(next != nullptr && (next->state & STATE_SYSTEM_DEFAULT) && !(next->state & STATE_SYSTEM_UNAVAILABLE),
              "Welcome: Continue, the default button, available");
        if (next != nullptr) {
            long left = 0, top = 0, width = 0, height = 0;
            client->accLocation(&left, &top, &width, &height, childVariant(next->id));
            const auto within = [](long got, double expected) { return got >= expected - 1 && got <= expected + 1; };
            check(within(left, origin.x + 600 * scale) && within(top, origin.y + 503 * scale) && within(width, 144 * scale) &&
                      within(height, 36 * scale),
                  "Welcome: Continue's location in screen coordinates");
            VARIANT hit;
            VariantInit(&hit);
            client->accHitTest(origin.x + static_cast<long>(672 * scale), origin.y + static_cast<long>(521 * scale), &hit);
            check(hit.vt == VT_I4 && hit.lVal == next->id, "Welcome: hit-testing finds Continue");
            VariantClear(&hit);
        }
        check(pressInto(client, page, L"Continue", L"Licence"), "Welcome: Continue leads to Licence");
        check(waitUntil([] { return sawEvent(EVENT_OBJECT_NAMECHANGE, CHILDID_SELF); }, 3000),
              "Welcome to Licence: name change event");
        check(sawEvent(EVENT_OBJECT_REORDER, CHILDID_SELF), "Welcome to Licence: reorder event");
    }

    // ---- Licence, unticked
    {
        const Page page = readPage(client);
        const Node* text = nullptr;
        for (const Node& node : page.children)
            if (node.object) text = &node;
        check(text != nullptr && text->role == ROLE_SYSTEM_TEXT, "Licence: the licence text is the control's own object");
        check(text != nullptr && text->value.size() == 2981, "Licence: the control's object reads the whole licence");
        const Node* box = page.find(ROLE_SYSTEM_CHECKBUTTON, L"I accept the plugin licence.");
        check(box != nullptr && !(box->state & STATE_SYSTEM_CHECKED), "Licence: checkbox, not checked");
        const Node* next = page.find(ROLE_SYSTEM_PUSHBUTTON, L"Continue");
        check(next != nullptr && (next->state & STATE_SYSTEM_UNAVAILABLE), "Licence: Continue unavailable");
        check(next != nullptr && FAILED(client->accDoDefaultAction(childVariant(next->id))),
              "Licence: an unavailable Continue has no default action");
        check(page.find(ROLE_SYSTEM_PUSHBUTTON, L"Back") != nullptr, "Licence: Back");
        events.clear();
        check(press(client, box), "Licence: the checkbox's default action");
        const long boxId = box != nullptr ? box->id : -1;
        check(waitUntil([&] { return sawEvent(EVENT_OBJECT_STATECHANGE, boxId); }, 5000), "Licence: checkbox state event");
    }
    {
        const Page page = readPage(client);
        const Node* box = page.find(ROLE_SYSTEM_CHECKBUTTON, L"I accept the plugin licence.");
        check(box != nullptr && (box->state & STATE_SYSTEM_CHECKED), "Licence: checkbox checked");
        const Node* next = page.find(ROLE_SYSTEM_PUSHBUTTON, L"Continue");
        check(next != nullptr && !(next->state & STATE_SYSTEM_UNAVAILABLE), "Licence: Continue available");
        check(pressInto(client, page, L"Back", L"Welcome"), "Licence: Back leads to Welcome");
    }
    {
        const Page welcome = readPage(client);
        check(pressInto(client, welcome, L"Continue", L"Licence"), "Welcome: Continue again");
        const Page licence = readPage(client);
        const Node* box = licence.find(ROLE_SYSTEM_CHECKBUTTON, L"I accept the plugin licence.");
        check(box != nullptr && (box->state & STATE_SYSTEM_CHECKED), "Licence: the tick is kept");
        check(pressInto(client, licence, L"Continue", L"Ready"), "Licence: Continue leads to Ready");
    }

    // ---- Ready, Installing, Finished
    const auto bundleShown = [](const Page& page, const wchar_t* below) {
        for (const Node& node : page.children)
            if (node.name.size() > 20 && node.name.ends_with(std::wstring(below) + L"\\VST3\\ElvaraSound.vst3")) return true;
        return false;
    };
    const wchar_t forMeName[] = L"Install only for me (no administrator rights needed)";
    if (forMe) {
        const Page page = readPage(client);
        const Node* box = page.find(ROLE_SYSTEM_CHECKBUTTON, forMeName);
        check(box != nullptr && !(box->state & STATE_SYSTEM_CHECKED), "Ready: only for me, not checked");
        check(bundleShown(page, L"\\Common Files"), "Ready: the machine's bundle folder");
        events.clear();
        check(press(client, box), "Ready: the checkbox's default action");
        const long boxId = box != nullptr ? box->id : -1;
        check(waitUntil([&] { return sawEvent(EVENT_OBJECT_STATECHANGE, boxId); }, 5000), "Ready: checkbox state event");
    }
    {
        const Page page = readPage(client);
        check(page.find(ROLE_SYSTEM_STATICTEXT, L"VST3 plugin") != nullptr, "Ready: folder label");
        const Node* box = page.find(ROLE_SYSTEM_CHECKBUTTON, forMeName);
        check(box != nullptr && ((box->state & STATE_SYSTEM_CHECKED) != 0) == forMe &&
                  (box->state & STATE_SYSTEM_FOCUSABLE),
              forMe ? "Ready: only for me, checked" : "Ready: only for me, focusable, not checked");
        check(bundleShown(page, forMe ? L"\\AppData\\Local\\Programs\\Common" : L"\\Common Files"),
              forMe ? "Ready: the user's bundle folder" : "Ready: the machine's bundle folder");
        events.clear();
        check(press(client, page.find(ROLE_SYSTEM_PUSHBUTTON, L"Install")), "Ready: Install's default action");
    }
    {
        WorkerHold hold(process);
        check(hold.held(), "Installing: the install worker held while the page is read");
        check(waitUntil([&] { return clientName(client) == titled(L"Installing"); }, 10000),
              "Ready: Install leads to Installing");
        const Page page = readPage(client);
        const Node* bar = page.find(ROLE_SYSTEM_PROGRESSBAR, L"");
        const auto percentText = [](const std::wstring& value) {
            return value.size() >= 3 && value.ends_with(L" %") && std::iswdigit(value[0]);
        };
        check(bar != nullptr && percentText(bar->value), "Installing: progress bar with its value in percent");
        check(page.find(ROLE_SYSTEM_PUSHBUTTON, L"") == nullptr, "Installing: no buttons");
        hold.release();
        check(waitUntil([&] { return clientName(client) == titled(L"Finished"); }, 90000), "Installing ends on Finished");
        check(sawEvent(EVENT_OBJECT_VALUECHANGE, bar != nullptr ? bar->id : -1), "Installing: progress value events");
    }
    {
        const Page page = readPage(client);
        check(page.find(ROLE_SYSTEM_STATICTEXT, L"You're ready to make music.") != nullptr, "Finished: success headline");
        check(page.find(ROLE_SYSTEM_STATICTEXT, forMe ? elvara::userInstallSuccessText : elvara::installSuccessText) !=
                  nullptr,
              "Finished: the result text");
        const Node* close = page.find(ROLE_SYSTEM_PUSHBUTTON, L"Close");
        check(close != nullptr && (close->state & STATE_SYSTEM_DEFAULT), "Finished: Close, the default button");
        check(press(client, close), "Finished: Close's default action");
        check(waitUntil([] { return !IsWindow(setupWindow); }, 10000), "Close ends the wizard");
        BSTR name = nullptr;
        result = client->get_accName(childVariant(CHILDID_SELF), &name);
        SysFreeString(name);
        check(FAILED(result), "after the window is gone the object answers nothing");
    }
    client->Release();
    if (hook != nullptr) UnhookWinEvent(hook);
    CoUninitialize();
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
