#include "ui/page_description.h"

#include <gtest/gtest.h>

using namespace elvara;

namespace {

std::vector<ItemKind> kindsOf(const std::vector<PageItem>& items)
{
    std::vector<ItemKind> kinds;
    for (const PageItem& item : items) kinds.push_back(item.kind);
    return kinds;
}

const PageItem& find(const std::vector<PageItem>& items, ItemKind kind)
{
    const int index = indexOf(items, kind);
    EXPECT_GE(index, 0);
    return items[static_cast<std::size_t>(index < 0 ? 0 : index)];
}

} // namespace

TEST(PageDescription, EachPageHasItsItemsInDrawingOrder)
{
    using K = ItemKind;
    const struct {
        WizardPage page;
        std::vector<ItemKind> kinds;
        const wchar_t* title;
    } rows[] = {
        {Welcome, {K::Headline, K::Text, K::Card, K::Text, K::PrimaryButton}, L"Welcome \u00B7 ElvaraSound Setup"},
        {Licence, {K::Headline, K::Text, K::LicenceText, K::Checkbox, K::BackButton, K::PrimaryButton},
         L"Licence \u00B7 ElvaraSound Setup"},
        {Ready,
         {K::Headline, K::Text, K::Text, K::Text, K::Text, K::Text, K::Checkbox, K::BackButton, K::PrimaryButton},
         L"Ready \u00B7 ElvaraSound Setup"},
        {Installing, {K::Headline, K::Progress, K::Text}, L"Installing \u00B7 ElvaraSound Setup"},
        {Finished, {K::Headline, K::Result, K::PrimaryButton}, L"Finished \u00B7 ElvaraSound Setup"},
    };
    for (const auto& row : rows) {
        PageFacts facts;
        facts.page = row.page;
        EXPECT_EQ(kindsOf(describePage(facts)), row.kinds) << row.page;
        EXPECT_EQ(pageTitle(facts), row.title);
    }
}

TEST(PageDescription, StatesFollowTheFacts)
{
    PageFacts facts;
    facts.page = Licence;
    auto items = describePage(facts);
    EXPECT_FALSE(find(items, ItemKind::PrimaryButton).enabled);
    EXPECT_FALSE(find(items, ItemKind::Checkbox).checked);
    facts.licenceAccepted = true;
    items = describePage(facts);
    EXPECT_TRUE(find(items, ItemKind::PrimaryButton).enabled);
    EXPECT_TRUE(find(items, ItemKind::Checkbox).checked);

    facts.page = Ready;
    items = describePage(facts);
    EXPECT_EQ(find(items, ItemKind::Checkbox).name, L"Install only for me (no administrator rights needed)");
    EXPECT_FALSE(find(items, ItemKind::Checkbox).checked);
    EXPECT_EQ(find(items, ItemKind::Checkbox).action, ItemAction::ToggleOnlyForMe);
    facts.onlyForMe = true;
    EXPECT_TRUE(find(describePage(facts), ItemKind::Checkbox).checked);

    facts.page = Installing;
    facts.progress = 64;
    EXPECT_EQ(find(describePage(facts), ItemKind::Progress).value, L"64 %");

    facts.page = Finished;
    facts.succeeded = false;
    facts.resultText = L"Cannot create plugin file.";
    items = describePage(facts);
    EXPECT_EQ(find(items, ItemKind::Result).name, L"Cannot create plugin file.");
    EXPECT_EQ(find(items, ItemKind::Headline).name, L"Installation needs attention.");
    EXPECT_EQ(find(items, ItemKind::PrimaryButton).name, L"Close");
    facts.succeeded = true;
    EXPECT_EQ(describePage(facts).size(), 4u); // the DAW hint
}

TEST(PageDescription, ItemAtUsesTheHitAreas)
{
    PageFacts facts;
    facts.page = Licence;
    const auto items = describePage(facts);
    const auto kindAt = [&](float x, float y) {
        const int index = itemAt(items, x, y);
        return index < 0 ? ItemKind::None : items[static_cast<std::size_t>(index)].kind;
    };
    EXPECT_EQ(kindAt(744, 540), ItemKind::PrimaryButton); // one row below the drawn edge
    EXPECT_EQ(kindAt(478, 503), ItemKind::BackButton);
    EXPECT_EQ(kindAt(594, 520), ItemKind::None);
    EXPECT_EQ(kindAt(770, 440), ItemKind::Checkbox); // the whole band
    EXPECT_EQ(kindAt(44, 425), ItemKind::None);
    EXPECT_EQ(kindAt(300, 300), ItemKind::LicenceText);
    EXPECT_EQ(kindAt(300, 150), ItemKind::Headline);
}

TEST(PageDescription, TabOrderSkipsDisabledItemsAndWraps)
{
    PageFacts facts;
    facts.page = Licence;
    auto items = describePage(facts);
    using K = ItemKind;
    EXPECT_EQ(nextFocus(items, K::None, true), K::LicenceText);
    EXPECT_EQ(nextFocus(items, K::None, false), K::BackButton); // Continue is disabled
    EXPECT_EQ(nextFocus(items, K::BackButton, true), K::LicenceText);
    facts.licenceAccepted = true;
    items = describePage(facts);
    EXPECT_EQ(nextFocus(items, K::BackButton, true), K::PrimaryButton);
    EXPECT_EQ(nextFocus(items, K::LicenceText, false), K::PrimaryButton);
    facts.page = Ready;
    items = describePage(facts);
    EXPECT_EQ(nextFocus(items, K::None, true), K::Checkbox);
    EXPECT_EQ(nextFocus(items, K::Checkbox, true), K::BackButton);
    EXPECT_EQ(nextFocus(items, K::Checkbox, false), K::PrimaryButton);
    facts.page = Installing;
    EXPECT_EQ(nextFocus(describePage(facts), K::None, true), K::None);
}
