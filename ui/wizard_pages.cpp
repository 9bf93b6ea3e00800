#include "ui/wizard_pages.h"

#include "base/product.h"
#include "language/display_language.h"
#include "ui/layout.h"
#include "ui/setup_texts.h"

#include <cmath>

namespace elvara {

namespace {

constexpr auto leading = DWRITE_TEXT_ALIGNMENT_LEADING;
constexpr auto centred = DWRITE_TEXT_ALIGNMENT_CENTER;

D2D1_COLOR_F colourOf(const layout::Colour& colour) { return D2D1::ColorF(colour.r, colour.g, colour.b, colour.a); }

void use(Canvas& canvas, const layout::Colour& colour) { canvas.setColor(colour.r, colour.g, colour.b, colour.a); }

void drawStyledText(Canvas& canvas, const std::wstring& text, const layout::Box& box, const layout::TextStyle& style)
{
    use(canvas, style.colour);
    canvas.drawText(text, box.x, box.y, box.width, box.height, style.size, style.bold, leading);
}

void drawHeader(Canvas& canvas)
{
    canvas.drawLogoMark(30, 30, 38);
    use(canvas, layout::headlineColour);
    canvas.drawText(L"ElvaraSound", 83, 31, 260, 30, 24, true, leading);
    canvas.setColor(0.67f, 0.65f, 0.72f, 1.0f);
    canvas.drawText(L"LIVEWIRE EDITION / WINDOWS", 85, 64, 400, 20, 10, false, leading);
    canvas.setColor(0.26f, 0.23f, 0.31f, 1.0f);
    canvas.drawLine(30, 103, 750, 103, 1);
}

void drawCard(Canvas& canvas, const PageItem& card)
{
    const layout::Box box = card.box;
    canvas.fillGradient(box.x, box.y, box.width, box.height, D2D1::ColorF(0.17f, 0.15f, 0.21f),
                        D2D1::ColorF(0.105f, 0.1f, 0.14f), 15, true, 1);
    canvas.setColor(0.34f, 0.3f, 0.41f, 1.0f);
    canvas.strokeRect(box.x + 0.5f, box.y + 0.5f, box.width - 1, box.height - 1, 15, 1);
    drawStyledText(canvas, card.name, layout::welcomeCardTitle, card.style);
}

void drawCheckbox(Canvas& canvas, const PageItem& checkbox)
{
    canvas.setColor(0.29f, 0.24f, 0.36f, 1.0f);
    const layout::Box box = layout::checkbox;
    canvas.strokeRect(box.x, box.y, box.width, box.height, 3, 1);
    if (checkbox.checked) {
        const layout::Box tick = layout::checkboxTick;
        canvas.setColor(0.74f, 0.59f, 0.93f, 1.0f);
        canvas.fillRect(tick.x, tick.y, tick.width, tick.height, 2);
    }
    drawStyledText(canvas, checkbox.name, layout::checkboxLabel, checkbox.style);
}

void drawProgress(const WizardState& record, Canvas& canvas, std::uint32_t progress)
{
    canvas.setColor(0.19f, 0.16f, 0.24f, 1.0f);
    const layout::Box track = layout::progressTrack;
    canvas.fillRect(track.x, track.y, track.width, track.height, 4);
    const float fill = static_cast<float>(progress) * (track.width / 100.0f);
    if (fill > 0.0f) {
        canvas.fillGradient(track.x, track.y, fill, track.height, D2D1::ColorF(0.56f, 0.41f, 0.78f),
                            D2D1::ColorF(0.85f, 0.77f, 1.0f), 4, false, 1);
    }
    if (record.animationsEnabled && fill > 30.0f) {
        const float offset = fmodf(static_cast<float>(GetTickCount64()) * 0.12f, fill);
        canvas.setColor(1, 1, 1, 0.35f);
        canvas.fillRect(track.x + offset, track.y + 1, std::fmin(fill - offset, 22.0f), 5, 2);
    }
}

void drawItem(const WizardState& record, Canvas& canvas, const PageItem& item, std::uint32_t progress)
{
    switch (item.kind) {
    case ItemKind::Headline:
    case ItemKind::Text:
    case ItemKind::Result:
        drawStyledText(canvas, item.name, item.box, item.style);
        break;
    case ItemKind::Card:
        drawCard(canvas, item);
        break;
    case ItemKind::Checkbox:
        drawCheckbox(canvas, item);
        break;
    case ItemKind::Progress:
        drawProgress(record, canvas, progress);
        break;
    default: // the licence control draws itself; buttons come after the footer
        break;
    }
}

// A ring clear of the item's box: the stroke's middle lies half its width further out.
void drawFocusRing(Canvas& canvas, const PageItem& item)
{
    const float out = layout::focusRingGap + layout::focusRingWidth / 2;
    const float radius = item.isButton() ? item.box.height / 2 + out : 3 + out;
    use(canvas, layout::focusRingColour);
    canvas.strokeRect(item.box.x - out, item.box.y - out, item.box.width + 2 * out, item.box.height + 2 * out, radius,
                      layout::focusRingWidth);
}

} // namespace

void useDisplayLanguage(Canvas& canvas)
{
    const Language& language = displayLanguage();
    const auto families = fontFamiliesFor(language.script);
    canvas.setTextLanguage(std::vector<std::wstring>(families.begin(), families.end()), std::wstring(language.localeName));
}

LabelWidth labelWidthOn(Canvas& canvas)
{
    return [&canvas](const std::wstring& text, float size, bool bold) {
        useDisplayLanguage(canvas);
        return canvas.measureText(text, size, bold).line;
    };
}

TextHeight textHeightOn(Canvas& canvas)
{
    return [&canvas](const std::wstring& text, float size, bool bold, float width) {
        useDisplayLanguage(canvas);
        return canvas.measureText(text, size, bold, width).height;
    };
}

void drawButton(const WizardState& record, Canvas& canvas, const PageItem& button)
{
    const layout::Box box = button.box;
    const bool primary = button.kind == ItemKind::PrimaryButton;
    const std::wstring& label = button.name;
    const float x = box.x;
    const float width = box.width;
    const float top = box.y;
    const float height = box.height;
    const bool enabled = button.enabled;
    const float highlight = primary ? record.primaryHighlight : record.backHighlight;
    const bool bright = primary && enabled;
    canvas.setColor(0, 0, 0, 0.2f);
    canvas.fillRect(x, top + layout::buttonShadowOffset, width, height, 18);
    if (bright)
        canvas.fillGradient(x, top, width, height, D2D1::ColorF(0.79f, 0.69f, 0.97f), D2D1::ColorF(0.6f, 0.48f, 0.81f),
                            18, true, 1);
    else
        canvas.fillGradient(x, top, width, height, D2D1::ColorF(0.19f, 0.18f, 0.23f), D2D1::ColorF(0.11f, 0.105f, 0.14f),
                            18, true, 1);
    if (highlight > 0.0f && enabled) {
        canvas.setColor(1, 1, 1, 0.1f * highlight);
        canvas.fillRect(x, top, width, height, 18);
    }
    if (bright)
        canvas.setColor(0.83f, 0.75f, 1.0f, 1.0f);
    else
        canvas.setColor(0.35f, 0.32f, 0.42f, 1.0f);
    canvas.strokeRect(x + 0.5f, top + 0.5f, width - 1, height - 1, 18, 1);
    if (bright)
        canvas.setColor(0.1f, 0.07f, 0.15f, 1.0f);
    else if (!primary)
        canvas.setColor(0.94f, 0.92f, 0.98f, 1.0f);
    else
        canvas.setColor(0.61f, 0.59f, 0.65f, 1.0f);
    canvas.drawText(label, x + layout::buttonLabelInset, top + 9, width - 2 * layout::buttonLabelInset, 24,
                    layout::buttonLabelSize, true, centred);
}

void drawWizard(WizardState& record, Canvas& canvas)
{
    useDisplayLanguage(canvas);
    PageFacts facts = readPageFacts(record, FolderPaths::Resolve);
    facts.labelWidth = labelWidthOn(canvas);
    facts.textHeight = textHeightOn(canvas);
    const std::vector<PageItem> items = describePage(facts);
    canvas.fillGradient(0, 0, layout::designWidth, layout::designHeight, colourOf(layout::backgroundTop),
                        colourOf(layout::backgroundBottom), 0, true, 1);
    drawHeader(canvas);
    for (const PageItem& item : items) drawItem(record, canvas, item, facts.progress);
    canvas.setColor(0.24f, 0.2f, 0.3f, 1.0f);
    canvas.drawLine(30, 483, 750, 483, 1);
    use(canvas, layout::bodyColour);
    canvas.drawText(std::wstring(product::wideVersion) + L"  \u00B7  " + shown(L"Public preview") + L"  \u00B7  " +
                        shown(L"Unsigned publisher"),
                    34, 513, 430, 18, 10, false, leading);
    canvas.drawText(std::wstring(product::widePublisher), 34, 534, 420, 18, 10, false, leading);
    for (const PageItem& item : items)
        if (item.isButton()) drawButton(record, canvas, item);
    if (record.focusVisible)
        for (const PageItem& item : items)
            if (item.kind == record.focus) drawFocusRing(canvas, item);
}

} // namespace elvara
