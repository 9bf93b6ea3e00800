#include "ui/page_description.h"

#include "ui/hit_areas.h"
#include "ui/setup_texts.h"

#include <algorithm>
#include <cmath>

namespace elvara {

namespace {

PageItem verbatim(ItemKind kind, std::wstring name, const layout::Box& box, const layout::TextStyle& style)
{
    PageItem item;
    item.kind = kind;
    item.name = std::move(name);
    item.box = box;
    item.style = style;
    return item;
}

// Every text that the page shows reaches it through the catalogue; paths are passed as they are.
PageItem text(ItemKind kind, std::wstring_view english, const layout::Box& box, const layout::TextStyle& style)
{
    return verbatim(kind, shown(english), box, style);
}

PageItem button(ItemKind kind, std::wstring_view label, const layout::Box& box, bool enabled, ItemAction action)
{
    PageItem item;
    item.kind = kind;
    item.name = shown(label);
    item.box = box;
    item.enabled = enabled;
    item.action = action;
    return item;
}

// The one checkbox place of the layout, below the page's content.
PageItem checkbox(std::wstring_view label, bool checked, ItemAction action)
{
    PageItem item = text(ItemKind::Checkbox, label, layout::checkboxItem, layout::checkboxLabelStyle);
    item.checked = checked;
    item.action = action;
    return item;
}

const wchar_t* headlineFor(const PageFacts& facts)
{
    switch (facts.page) {
    case Welcome:
        return L"Your master bus. Upgraded.";
    case Licence:
        return L"A few things to read.";
    case Ready:
        return L"Ready for your DAW.";
    case Installing:
        return L"Installing ElvaraSound\u2026";
    default:
        return facts.succeeded ? L"You're ready to make music." : L"Installation needs attention.";
    }
}

void addPageContent(const PageFacts& facts, std::vector<PageItem>& items)
{
    switch (facts.page) {
    case Welcome: {
        items.push_back(text(ItemKind::Text,
                             L"Meridian and Vale in your DAW, with native processing and your existing ElvaraSound "
                             L"account. No audio uploads. No generation credits for live processing.",
                             layout::welcomeIntro, layout::welcomeIntroStyle));
        PageItem card = text(ItemKind::Card, L"MERIDIAN + VALE / YOUR VERIFIED ACCOUNT", layout::welcomeCard,
                             layout::welcomeCardTitleStyle);
        PageItem cardText = text(ItemKind::Text,
                                 L"Both models are included during the temporary Free phase. Windows 10/11 x64, VST3. "
                                 L"Close your DAW. Installation in the standard VST3 folder needs administrator "
                                 L"confirmation.",
                                 layout::welcomeCardText, layout::welcomeCardTextStyle);
        // A longer translation takes the room below the card, which the Welcome page leaves free.
        if (facts.textHeight) {
            const layout::TextStyle& style = cardText.style;
            const float needed = facts.textHeight(cardText.name, style.size, style.bold, cardText.box.width);
            const float extra = std::min(needed - cardText.box.height, layout::welcomeCardRoomBelow);
            if (extra > 0.0f) {
                cardText.box.height += std::ceil(extra);
                card.box.height += std::ceil(extra);
            }
        }
        items.push_back(std::move(card));
        items.push_back(std::move(cardText));
        break;
    }
    case Licence: {
        items.push_back(text(ItemKind::Text, L"The full licence is shown below and installed with the plugin.",
                             layout::licenceIntro, layout::licenceIntroStyle));
        items.push_back(text(ItemKind::LicenceText, L"Licence", layout::licenceText, layout::licenceIntroStyle));
        items.push_back(checkbox(L"I accept the plugin licence.", facts.licenceAccepted, ItemAction::ToggleLicence));
        break;
    }
    case Ready:
        items.push_back(text(ItemKind::Text, L"VST3 plugin", layout::bundleFolderLabel, layout::folderLabelStyle));
        items.push_back(verbatim(ItemKind::Text, facts.bundleFolder, layout::bundleFolderText, layout::folderPathStyle));
        items.push_back(
            text(ItemKind::Text, L"Documents and uninstaller", layout::productFolderLabel, layout::folderLabelStyle));
        items.push_back(verbatim(ItemKind::Text, facts.productFolder, layout::productFolderText, layout::folderPathStyle));
        items.push_back(text(ItemKind::Text, L"All embedded files are checked with SHA-256 before installation.",
                             layout::checksumNote, layout::checksumNoteStyle));
        items.push_back(checkbox(onlyForMeLabel, facts.onlyForMe, ItemAction::ToggleOnlyForMe));
        break;
    case Installing: {
        PageItem progress = text(ItemKind::Progress, L"Installation progress", layout::progressTrack, {});
        progress.value = std::to_wstring(facts.progress) + L" %";
        items.push_back(std::move(progress));
        items.push_back(text(ItemKind::Text, L"Please keep this window open.", layout::installingNote,
                             layout::installingNoteStyle));
        break;
    }
    default:
        items.push_back(text(ItemKind::Result, facts.resultText, layout::resultText, layout::resultTextStyle));
        if (facts.succeeded)
            items.push_back(text(ItemKind::Text,
                                 L"FL STUDIO / Options \u2192 Manage plugins \u2192 Find installed plugins",
                                 layout::dawHint, layout::dawHintStyle));
        break;
    }
}

// The button's box, widened to the left where its label needs more room than the layout gives.
layout::Box fitted(const layout::Box& box, const std::wstring& label, const PageFacts& facts, float rightEdge)
{
    float width = box.width;
    if (facts.labelWidth) {
        const float needed = facts.labelWidth(label, layout::buttonLabelSize, true) + 2 * layout::buttonLabelMargin;
        if (needed > width) width = static_cast<float>(static_cast<int>(needed + 0.999f));
    }
    return {rightEdge - width, box.y, width, box.height};
}

bool hits(const PageItem& item, float x, float y) noexcept
{
    if (item.isButton()) return inButton(item.box, x, y);
    if (item.kind == ItemKind::Checkbox) return inCheckboxRow(y);
    return x >= item.box.x && x <= item.box.right() && y >= item.box.y && y <= item.box.bottom();
}

} // namespace

std::vector<PageItem> describePage(const PageFacts& facts)
{
    std::vector<PageItem> items;
    PageItem headline = text(ItemKind::Headline, headlineFor(facts), layout::headline, layout::headlineStyle);
    // A headline longer than its one line (a longer translation) is set smaller, never clipped.
    if (facts.labelWidth) {
        const float width = facts.labelWidth(headline.name, headline.style.size, headline.style.bold);
        if (width > headline.box.width)
            headline.style.size = std::max(layout::headlineSmallestSize,
                                           std::floor(headline.style.size * headline.box.width / width * 4.0f) / 4.0f);
    }
    items.push_back(std::move(headline));
    addPageContent(facts, items);
    float primaryLeft = layout::primaryButton.x;
    if (facts.page != Installing) {
        const wchar_t* label = facts.page == Finished ? L"Close" : facts.page == Ready ? L"Install" : L"Continue";
        const bool enabled = facts.page != Licence || facts.licenceAccepted;
        PageItem primary = button(ItemKind::PrimaryButton, label, layout::primaryButton, enabled, ItemAction::Primary);
        primary.box = fitted(layout::primaryButton, primary.name, facts, layout::primaryButton.right());
        primaryLeft = primary.box.x;
        items.push_back(std::move(primary));
    }
    if (facts.page == Licence || facts.page == Ready) {
        PageItem back = button(ItemKind::BackButton, L"Back", layout::backButton, true, ItemAction::GoBack);
        back.box = fitted(layout::backButton, back.name, facts, primaryLeft - layout::buttonGap);
        // Drawn and read in the same order as before: Back, then the primary button.
        items.insert(items.end() - (facts.page != Installing ? 1 : 0), std::move(back));
    }
    return items;
}

std::wstring pageTitle(const PageFacts& facts)
{
    static const wchar_t* const names[] = {L"Welcome", L"Licence", L"Ready", L"Installing", L"Finished"};
    const auto page = facts.page >= Welcome && facts.page <= Finished ? facts.page : Finished;
    return shown(std::wstring(names[page]) + L" \u00B7 ElvaraSound Setup");
}

int itemAt(const std::vector<PageItem>& items, float x, float y) noexcept
{
    for (auto index = static_cast<int>(items.size()) - 1; index >= 0; --index)
        if (hits(items[static_cast<std::size_t>(index)], x, y)) return index;
    return -1;
}

int indexOf(const std::vector<PageItem>& items, ItemKind kind) noexcept
{
    for (std::size_t index = 0; index < items.size(); ++index)
        if (items[index].kind == kind) return static_cast<int>(index);
    return -1;
}

ItemKind nextFocus(const std::vector<PageItem>& items, ItemKind current, bool forward) noexcept
{
    std::vector<ItemKind> order;
    for (const PageItem& item : items)
        if (item.focusable()) order.push_back(item.kind);
    if (order.empty()) return ItemKind::None;
    std::size_t at = order.size();
    for (std::size_t index = 0; index < order.size(); ++index)
        if (order[index] == current) at = index;
    if (at == order.size()) return forward ? order.front() : order.back();
    const std::size_t count = order.size();
    return order[forward ? (at + 1) % count : (at + count - 1) % count];
}

} // namespace elvara
