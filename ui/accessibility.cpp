#include "ui/accessibility.h"

#include "ui/setup_texts.h"

#include "ui/wizard_state.h"

#include <oleacc.h>

#include <atomic>
#include <cmath>
#include <new>
#include <string>
#include <vector>

namespace elvara {

namespace {

constexpr long childIdOf(std::size_t index) noexcept { return static_cast<long>(index) + 1; }

BSTR allocate(const std::wstring& text)
{
    BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (copy == nullptr) throw std::bad_alloc();
    return copy;
}

long roleOf(ItemKind kind) noexcept
{
    switch (kind) {
    case ItemKind::Card:
        return ROLE_SYSTEM_GROUPING;
    case ItemKind::LicenceText:
        return ROLE_SYSTEM_TEXT;
    case ItemKind::Checkbox:
        return ROLE_SYSTEM_CHECKBUTTON;
    case ItemKind::Progress:
        return ROLE_SYSTEM_PROGRESSBAR;
    case ItemKind::BackButton:
    case ItemKind::PrimaryButton:
        return ROLE_SYSTEM_PUSHBUTTON;
    default:
        return ROLE_SYSTEM_STATICTEXT;
    }
}

// The page's client object. It reads the record on every call (the page may have
// changed since the last one) and holds no item of its own; after disconnect() it
// answers nothing.
class WizardAccessible final : public IAccessible {
public:
    explicit WizardAccessible(WizardState& record) noexcept : record_(&record) {}
    WizardAccessible(const WizardAccessible&) = delete;
    WizardAccessible& operator=(const WizardAccessible&) = delete;

    void disconnect() noexcept { record_ = nullptr; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IDispatch: clients use the IAccessible methods directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        return guarded(parent, [&](WizardState& record, const Items&) {
            return AccessibleObjectFromWindow(record.window, static_cast<DWORD>(OBJID_WINDOW), __uuidof(IDispatch),
                                              reinterpret_cast<void**>(parent));
        });
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override
    {
        return guarded(count, [&](WizardState&, const Items& items) {
            *count = static_cast<long>(items.size());
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override
    {
        return guarded(object, [&](WizardState& record, const Items& items) -> HRESULT {
            const int index = indexFor(child, items);
            if (index < 0) return E_INVALIDARG;
            return childObject(record, items[static_cast<std::size_t>(index)], object);
        });
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        return guarded(name, [&](WizardState& record, const Items& items) {
            return answerFor(child, items, [&] { *name = allocate(pageTitle(readPageFacts(record, FolderPaths::Skip))); },
                             [&](const PageItem& item) { *name = allocate(item.name); });
        });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        return guarded(value, [&](WizardState&, const Items& items) -> HRESULT {
            const int index = indexFor(child, items);
            if (index == badChild) return E_INVALIDARG;
            if (index < 0 || items[static_cast<std::size_t>(index)].value.empty()) return S_FALSE;
            *value = allocate(items[static_cast<std::size_t>(index)].value);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override
    {
        return nothingFor(child, description);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        return guarded(role, [&](WizardState&, const Items& items) {
            return answerFor(child, items, [&] { setLong(role, ROLE_SYSTEM_CLIENT); },
                             [&](const PageItem& item) { setLong(role, roleOf(item.kind)); });
        });
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        return guarded(state, [&](WizardState& record, const Items& items) {
            return answerFor(
                child, items,
                [&] { setLong(state, STATE_SYSTEM_FOCUSABLE | (GetFocus() == record.window ? STATE_SYSTEM_FOCUSED : 0)); },
                [&](const PageItem& item) { setLong(state, stateOf(record, item)); });
        });
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override { return nothingFor(child, help); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override
    {
        if (file != nullptr) *file = nullptr;
        if (topic != nullptr) *topic = 0;
        return record_ == nullptr ? RPC_E_DISCONNECTED : DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override
    {
        return nothingFor(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override
    {
        return guarded(focus, [&](WizardState& record, const Items& items) -> HRESULT {
            const HWND focused = GetFocus();
            if (focused != nullptr && focused == record.licenceEdit) {
                const int index = indexOf(items, ItemKind::LicenceText);
                if (index >= 0 && childObject(record, items[static_cast<std::size_t>(index)], &focus->pdispVal) == S_OK) {
                    focus->vt = VT_DISPATCH;
                    return S_OK;
                }
            }
            if (focused != record.window) return S_FALSE;
            // Nothing focused by the keyboard: Enter acts on the default button.
            int index = indexOf(items, record.focus);
            if (index < 0) index = indexOf(items, ItemKind::PrimaryButton);
            setLong(focus, index < 0 ? CHILDID_SELF : childIdOf(static_cast<std::size_t>(index)));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override
    {
        return guarded(selection, [](WizardState&, const Items&) { return S_FALSE; });
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        return guarded(action, [&](WizardState&, const Items& items) -> HRESULT {
            const int index = indexFor(child, items);
            if (index == badChild) return E_INVALIDARG;
            if (index < 0) return S_FALSE;
            const PageItem& item = items[static_cast<std::size_t>(index)];
            if (item.action == ItemAction::None) return S_FALSE;
            *action = allocate(shown(item.kind == ItemKind::Checkbox ? (item.checked ? L"Uncheck" : L"Check") : L"Press"));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accSelect(long, VARIANT) override
    {
        return record_ == nullptr ? RPC_E_DISCONNECTED : DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override
    {
        if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
        *left = *top = *width = *height = 0;
        return guarded(left, [&](WizardState& record, const Items& items) -> HRESULT {
            const int index = indexFor(child, items);
            if (index == badChild) return E_INVALIDARG;
            RECT box{};
            if (index < 0) {
                GetClientRect(record.window, &box);
            } else {
                const layout::Box& design = items[static_cast<std::size_t>(index)].box;
                const float scale = static_cast<float>(record.dpi) / 96.0f;
                box = {std::lround(design.x * scale), std::lround(design.y * scale),
                       std::lround(design.right() * scale), std::lround(design.bottom() * scale)};
            }
            MapWindowPoints(record.window, nullptr, reinterpret_cast<POINT*>(&box), 2);
            *left = box.left;
            *top = box.top;
            *width = box.right - box.left;
            *height = box.bottom - box.top;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override
    {
        return guarded(end, [&](WizardState&, const Items& items) -> HRESULT {
            const int index = indexFor(start, items);
            if (index == badChild) return E_INVALIDARG;
            const long count = static_cast<long>(items.size());
            long target = 0;
            if (index < 0 && direction == NAVDIR_FIRSTCHILD)
                target = 1;
            else if (index < 0 && direction == NAVDIR_LASTCHILD)
                target = count;
            else if (index >= 0 && (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN))
                target = index + 2;
            else if (index >= 0 && (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP))
                target = index;
            if (target < 1 || target > count) return S_FALSE;
            setLong(end, target);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long left, long top, VARIANT* child) override
    {
        return guarded(child, [&](WizardState& record, const Items& items) -> HRESULT {
            POINT point{left, top};
            ScreenToClient(record.window, &point);
            RECT client{};
            GetClientRect(record.window, &client);
            if (!PtInRect(&client, point)) return S_FALSE;
            const float unitsPerPixel = 96.0f / static_cast<float>(record.dpi);
            const int index = itemAt(items, static_cast<float>(point.x) * unitsPerPixel,
                                     static_cast<float>(point.y) * unitsPerPixel);
            if (index >= 0 &&
                childObject(record, items[static_cast<std::size_t>(index)], &child->pdispVal) == S_OK) {
                child->vt = VT_DISPATCH;
                return S_OK;
            }
            setLong(child, index < 0 ? CHILDID_SELF : childIdOf(static_cast<std::size_t>(index)));
            return S_OK;
        });
    }
    // Never acts inside the call: the action is posted and runs through the window's
    // own handling, as a click would, once the client's call has returned.
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        return guardedCall([&](WizardState& record, const Items& items) -> HRESULT {
            const int index = indexFor(child, items);
            if (index == badChild) return E_INVALIDARG;
            if (index < 0) return DISP_E_MEMBERNOTFOUND;
            const PageItem& item = items[static_cast<std::size_t>(index)];
            if (item.action == ItemAction::None || !item.enabled) return DISP_E_MEMBERNOTFOUND;
            if (!PostMessageW(record.window, WM_ACCESSIBLE_ACTION, static_cast<WPARAM>(item.action),
                              static_cast<LPARAM>(record.page)))
                return HRESULT_FROM_WIN32(GetLastError());
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    using Items = std::vector<PageItem>;
    static constexpr int badChild = -2;

    ~WizardAccessible() = default;

    // Disconnected: RPC_E_DISCONNECTED. Every out-parameter starts empty, and no
    // exception leaves the call.
    template <typename Out, typename Body>
    HRESULT guarded(Out* out, Body body) noexcept
    {
        if (out == nullptr) return E_POINTER;
        clear(out);
        return guardedCall(body);
    }
    template <typename Body>
    HRESULT guardedCall(Body body) noexcept
    {
        if (record_ == nullptr) return RPC_E_DISCONNECTED;
        try {
            const Items items = describeCurrentPage(*record_, FolderPaths::Resolve);
            return body(*record_, items);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
    }
    static void clear(VARIANT* variant) noexcept { VariantInit(variant); }
    template <typename T>
    static void clear(T** pointer) noexcept
    {
        *pointer = nullptr;
    }
    static void clear(long* value) noexcept { *value = 0; }

    static void setLong(VARIANT* variant, long value) noexcept
    {
        variant->vt = VT_I4;
        variant->lVal = value;
    }

    // -1 for the client itself, the item's index, or badChild.
    static int indexFor(const VARIANT& child, const Items& items) noexcept
    {
        if (child.vt != VT_I4) return badChild;
        if (child.lVal == CHILDID_SELF) return -1;
        if (child.lVal < 1 || child.lVal > static_cast<long>(items.size())) return badChild;
        return static_cast<int>(child.lVal - 1);
    }

    template <typename OnSelf, typename OnItem>
    static HRESULT answerFor(const VARIANT& child, const Items& items, OnSelf onSelf, OnItem onItem)
    {
        const int index = indexFor(child, items);
        if (index == badChild) return E_INVALIDARG;
        if (index < 0)
            onSelf();
        else
            onItem(items[static_cast<std::size_t>(index)]);
        return S_OK;
    }

    HRESULT nothingFor(const VARIANT& child, BSTR* text) noexcept
    {
        return guarded(text, [&](WizardState&, const Items& items) {
            return indexFor(child, items) == badChild ? E_INVALIDARG : S_FALSE;
        });
    }

    // The licence text is the real control: its own object reads its text.
    static HRESULT childObject(const WizardState& record, const PageItem& item, IDispatch** object)
    {
        if (item.kind != ItemKind::LicenceText || record.licenceEdit == nullptr) return S_FALSE;
        return AccessibleObjectFromWindow(record.licenceEdit, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IDispatch),
                                          reinterpret_cast<void**>(object));
    }

    static long stateOf(const WizardState& record, const PageItem& item) noexcept
    {
        long state = 0;
        if (item.kind == ItemKind::LicenceText) {
            state = STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_READONLY;
            if (record.licenceEdit != nullptr && GetFocus() == record.licenceEdit) state |= STATE_SYSTEM_FOCUSED;
            return state;
        }
        if (item.action == ItemAction::None) return STATE_SYSTEM_READONLY;
        state = STATE_SYSTEM_FOCUSABLE;
        if (!item.enabled) state |= STATE_SYSTEM_UNAVAILABLE;
        if (item.checked) state |= STATE_SYSTEM_CHECKED;
        if (item.kind == ItemKind::PrimaryButton) state |= STATE_SYSTEM_DEFAULT;
        if (item.kind == record.focus && GetFocus() == record.window) state |= STATE_SYSTEM_FOCUSED;
        return state;
    }

    std::atomic<ULONG> references_{1};
    WizardState* record_;
};

void notify(const WizardState& record, DWORD event, long child) noexcept
{
    NotifyWinEvent(event, record.window, OBJID_CLIENT, child);
}

} // namespace

LRESULT answerGetObject(WizardState& record, WPARAM wParam, LPARAM lParam)
{
    if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT)) return 0;
    if (!record.accessible) record.accessible.Attach(new WizardAccessible(record));
    return LresultFromObject(__uuidof(IAccessible), wParam, record.accessible.Get());
}

void disconnectAccessible(WizardState& record) noexcept
{
    if (!record.accessible) return;
    static_cast<WizardAccessible*>(record.accessible.Get())->disconnect();
    // Proxies in client processes are cut off too, instead of reaching a gone window.
    CoDisconnectObject(record.accessible.Get(), 0);
    record.accessible.Reset();
}

AccessibleSnapshot takeAccessibleSnapshot(const WizardState& record) noexcept
{
    return {record.page, record.succeeded.load(), record.licenceAccepted, record.focus, record.drawnProgress,
            record.scope};
}

void announceChanges(WizardState& record, const AccessibleSnapshot& before) noexcept
{
    if (record.window == nullptr || !IsWindow(record.window)) return;
    if (record.page == before.page && record.licenceAccepted == before.licenceAccepted &&
        record.drawnProgress == before.progress && record.focus == before.focus && record.scope == before.scope)
        return;
    try {
        const std::vector<PageItem> items = describeCurrentPage(record, FolderPaths::Skip);
        const auto childOf = [&items](ItemKind kind) {
            const int index = indexOf(items, kind);
            return index < 0 ? CHILDID_SELF : childIdOf(static_cast<std::size_t>(index));
        };
        const bool windowFocused = GetFocus() == record.window;
        if (record.page != before.page) {
            notify(record, EVENT_OBJECT_NAMECHANGE, CHILDID_SELF);
            notify(record, EVENT_OBJECT_REORDER, CHILDID_SELF);
            if (windowFocused && indexOf(items, ItemKind::PrimaryButton) >= 0)
                notify(record, EVENT_OBJECT_FOCUS, childOf(ItemKind::PrimaryButton));
            if (record.page == Finished && !record.succeeded.load())
                notify(record, EVENT_SYSTEM_ALERT, childOf(ItemKind::Result));
            return;
        }
        if ((record.licenceAccepted != before.licenceAccepted && record.page == Licence) ||
            (record.scope != before.scope && record.page == Ready))
            notify(record, EVENT_OBJECT_STATECHANGE, childOf(ItemKind::Checkbox));
        if (record.drawnProgress != before.progress && record.page == Installing)
            notify(record, EVENT_OBJECT_VALUECHANGE, childOf(ItemKind::Progress));
        // The licence control announces its own focus.
        if (record.focus != before.focus && windowFocused && indexOf(items, record.focus) >= 0)
            notify(record, EVENT_OBJECT_FOCUS, childOf(record.focus));
    } catch (...) {
        // Events are a courtesy to listeners; the wizard goes on without them.
    }
}

} // namespace elvara
