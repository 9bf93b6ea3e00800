#pragma once
// One description of each wizard page: its items with their boxes, names, states and
// actions. Painting, hit-testing, the keyboard focus and accessibility all read it,
// so a button's box or a text exists once. Free of platform headers: the build
// machine tests it directly.
#include "ui/layout.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace elvara {

enum WizardPage : std::int32_t { Welcome = 0, Licence = 1, Ready = 2, Installing = 3, Finished = 4 };

enum class ItemKind : std::uint8_t {
    None, // no item: the keyboard focus rests on nothing
    Headline,
    Text,
    Card,
    LicenceText, // the licence control, a real child window
    Checkbox,
    Progress,
    Result,
    BackButton,
    PrimaryButton,
};

enum class ItemAction : std::uint8_t { None, ToggleLicence, ToggleOnlyForMe, GoBack, Primary };

struct PageItem {
    ItemKind kind = ItemKind::None;
    std::wstring name;
    layout::Box box{};
    bool enabled = true;
    bool checked = false;
    std::wstring value;
    ItemAction action = ItemAction::None;
    layout::TextStyle style{};

    bool isButton() const noexcept { return kind == ItemKind::BackButton || kind == ItemKind::PrimaryButton; }
    // Items that Tab reaches: the licence text and the enabled controls.
    bool focusable() const noexcept
    {
        return kind == ItemKind::LicenceText || (enabled && action != ItemAction::None);
    }
};

// How wide a text is on one line, in design units, as the canvas measures it.
using LabelWidth = std::function<float(const std::wstring& text, float size, bool bold)>;
// How tall a text is once wrapped at the width, in design units.
using TextHeight = std::function<float(const std::wstring& text, float size, bool bold, float width)>;

// What a page shows, read once from the wizard's state.
struct PageFacts {
    std::int32_t page = Welcome;
    bool licenceAccepted = false;
    bool succeeded = false;
    std::uint32_t progress = 0;
    std::wstring resultText;
    bool onlyForMe = false;     // the per-user installation is chosen
    std::wstring bundleFolder;  // Ready only, of the chosen scope
    std::wstring productFolder; // Ready only, of the chosen scope
    LabelWidth labelWidth;      // when given, a button grows to its label (a longer translation)
    TextHeight textHeight;      // when given, the Welcome card grows to its text
};

inline constexpr wchar_t onlyForMeLabel[] = L"Install only for me (no administrator rights needed)";

// The current page's items in drawing order (the buttons last).
std::vector<PageItem> describePage(const PageFacts& facts);

// "Licence · ElvaraSound Setup": the page's name for assistive technology.
std::wstring pageTitle(const PageFacts& facts);

// The item that a point in design units acts on, topmost first; -1 for none.
// Buttons include one row below their drawn edge, the checkbox its whole band.
int itemAt(const std::vector<PageItem>& items, float x, float y) noexcept;

int indexOf(const std::vector<PageItem>& items, ItemKind kind) noexcept;

// The next focusable item after the current one (forward or backward), wrapping;
// from ItemKind::None, the first (or last). None when the page has none.
ItemKind nextFocus(const std::vector<PageItem>& items, ItemKind current, bool forward) noexcept;

} // namespace elvara
