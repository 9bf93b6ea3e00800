#include "ui/wizard_pages.h"

#include "base/product.h"
#include "ui/appearance.h"
#include "language/display_language.h"
#include "ui/layout.h"
#include "ui/setup_texts.h"

#include <cmath>

namespace elvara {

namespace {

constexpr auto leading = DWRITE_TEXT_ALIGNMENT_LEADING;
constexpr auto centred = DWRITE_TEXT_ALIGNMENT_CENTER;

D2D1_COLOR_F d2dColour(const layout::Colour& colour) { return D2D1::ColorF(colour.r, colour.g, colour.b, colour.a); }

void use(Canvas& canvas, const layout::Colour& colour) { canvas.setColor(colour.r, colour.g, colour.b, colour.a); }

// A shape in one colour, or in two where a gradient would be: system colours never blend.
void fillShaded(Canvas& canvas, const Palette& palette, const layout::Box& box, const layout::Colour& from,
                const layout::Colour& to, float radius, bool vertical)
{
    if (palette.systemColoursOnly) {
        use(canvas, from);
        canvas.fillRect(box.x, box.y, box.width, box.height, radius);
        return;
    }
    canvas.fillGradient(box.x, box.y, box.width, box.height, d2dColour(from), d2dColour(to), radius, vertical, 1);
}

// A control's face with its border: under high contrast the border is a ring of its own
// width, laid as two solid shapes so that every edge pixel blends two colours at most.
void fillBordered(Canvas& canvas, const Palette& palette, const layout::Box& box, const layout::Colour& faceTop,
                  const layout::Colour& faceBottom, const layout::Colour& border, float radius)
{
    if (palette.systemColoursOnly) {
        const float width = palette.borderWidth;
        use(canvas, border);
        canvas.fillRect(box.x, box.y, box.width, box.height, radius);
        use(canvas, faceTop);
        canvas.fillRect(box.x + width, box.y + width, box.width - 2 * width, box.height - 2 * width,
                        std::fmax(radius - width, 0.0f));
        return;
    }
    fillShaded(canvas, palette, box, faceTop, faceBottom, radius, true);
    use(canvas, border);
    canvas.strokeRect(box.x + 0.5f, box.y + 0.5f, box.width - 1, box.height - 1, radius, 1);
}

void drawStyledText(Canvas& canvas, const Palette& palette, const std::wstring& text, const layout::Box& box,
                    const layout::TextStyle& style)
{
    use(canvas, palette.text(style));
    canvas.drawText(text, box.x, box.y, box.width, box.height, style.size, style.bold, leading);
}

void drawHeader(Canvas& canvas, const Palette& palette)
{
    canvas.drawLogoMark(30, 30, 38, d2dColour(palette.logo));
    use(canvas, palette.wordmark);
    canvas.drawText(L"ElvaraSound", 83, 31, 260, 30, 24, true, leading);
    use(canvas, palette.edition);
    canvas.drawText(L"LIVEWIRE EDITION / WINDOWS", 85, 64, 400, 20, 10, false, leading);
    use(canvas, palette.rule);
    canvas.drawLine(30, 103, 750, 103, 1);
}

void drawCard(Canvas& canvas, const Palette& palette, const PageItem& card)
{
    fillBordered(canvas, palette, card.box, palette.cardTop, palette.cardBottom, palette.cardBorder, 15);
    drawStyledText(canvas, palette, card.name, layout::welcomeCardTitle, card.style);
}

void drawCheckbox(Canvas& canvas, const Palette& palette, const PageItem& checkbox)
{
    const layout::Box box = layout::checkbox;
    if (palette.systemColoursOnly) {
        fillBordered(canvas, palette, box, palette.checkboxFace, palette.checkboxFace, palette.checkboxBorder, 3);
    } else {
        use(canvas, palette.checkboxBorder);
        canvas.strokeRect(box.x, box.y, box.width, box.height, 3, 1);
    }
    if (checkbox.checked) {
        const layout::Box tick = layout::checkboxTick;
        use(canvas, palette.tick);
        canvas.fillRect(tick.x, tick.y, tick.width, tick.height, 2);
    }
    drawStyledText(canvas, palette, checkbox.name, layout::checkboxLabel, checkbox.style);
}

// Under high contrast the track is framed and square, its fill inside the frame, so that
// the bar's extent and its progress show without blending a third colour.
void drawProgress(const WizardState& record, Canvas& canvas, const Palette& palette, std::uint32_t progress)
{
    const layout::Box track = layout::progressTrack;
    const float inset = palette.systemColoursOnly ? 1.0f : 0.0f;
    const float radius = palette.systemColoursOnly ? 0.0f : 4.0f;
    if (palette.systemColoursOnly) {
        fillBordered(canvas, palette, track, palette.track, palette.track, palette.trackBorder, radius);
    } else {
        use(canvas, palette.track);
        canvas.fillRect(track.x, track.y, track.width, track.height, radius);
    }
    const float fill = static_cast<float>(progress) * ((track.width - 2 * inset) / 100.0f);
    if (fill > 0.0f) {
        fillShaded(canvas, palette, {track.x + inset, track.y + inset, fill, track.height - 2 * inset},
                   palette.fillStart, palette.fillEnd, radius, false);
    }
    if (record.animationsEnabled && !palette.systemColoursOnly && fill > 30.0f) {
        const float offset = fmodf(static_cast<float>(GetTickCount64()) * 0.12f, fill);
        canvas.setColor(1, 1, 1, 0.35f);
        canvas.fillRect(track.x + offset, track.y + 1, std::fmin(fill - offset, 22.0f), 5, 2);
    }
}

// The licence control draws itself; a frame just outside it shows its extent where the
// palette asks for one.
void drawLicenceFrame(Canvas& canvas, const Palette& palette, const PageItem& item)
{
    if (palette.licenceFrame.a == 0.0f) return;
    use(canvas, palette.licenceFrame);
    canvas.strokeRect(item.box.x - 0.5f, item.box.y - 0.5f, item.box.width + 1, item.box.height + 1, 0, 1);
}

void drawItem(const WizardState& record, Canvas& canvas, const Palette& palette, const PageItem& item,
              std::uint32_t progress)
{
    switch (item.kind) {
    case ItemKind::Headline:
    case ItemKind::Text:
    case ItemKind::Result:
        drawStyledText(canvas, palette, item.name, item.box, item.style);
        break;
    case ItemKind::Card:
        drawCard(canvas, palette, item);
        break;
    case ItemKind::Checkbox:
        drawCheckbox(canvas, palette, item);
        break;
    case ItemKind::Progress:
        drawProgress(record, canvas, palette, progress);
        break;
    case ItemKind::LicenceText:
        drawLicenceFrame(canvas, palette, item);
        break;
    default: // buttons come after the footer
        break;
    }
}

// A ring clear of the item's box: the stroke's middle lies half its width further out.
void drawFocusRing(Canvas& canvas, const Palette& palette, const PageItem& item)
{
    const float out = layout::focusRingGap + layout::focusRingWidth / 2;
    const float radius = item.isButton() ? item.box.height / 2 + out : 3 + out;
    use(canvas, palette.focusRing);
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

void drawButton(const WizardState& record, Canvas& canvas, const Palette& palette, const PageItem& button)
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
    const ButtonColours& colours = palette.button(primary, enabled, highlight);
    if (palette.systemColoursOnly) {
        fillBordered(canvas, palette, box, colours.top, colours.bottom, colours.border, 18);
    } else {
        canvas.setColor(0, 0, 0, 0.2f);
        canvas.fillRect(x, top + layout::buttonShadowOffset, width, height, 18);
        fillShaded(canvas, palette, box, colours.top, colours.bottom, 18, true);
        if (highlight > 0.0f && enabled) {
            canvas.setColor(1, 1, 1, 0.1f * highlight);
            canvas.fillRect(x, top, width, height, 18);
        }
        use(canvas, colours.border);
        canvas.strokeRect(x + 0.5f, top + 0.5f, width - 1, height - 1, 18, 1);
    }
    use(canvas, colours.label);
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
    const Palette palette = paletteOf(record);
    fillShaded(canvas, palette, {0, 0, layout::designWidth, layout::designHeight}, palette.pageTop, palette.pageBottom,
               0, true);
    drawHeader(canvas, palette);
    for (const PageItem& item : items) drawItem(record, canvas, palette, item, facts.progress);
    use(canvas, palette.footerRule);
    canvas.drawLine(30, 483, 750, 483, 1);
    use(canvas, palette.footer);
    canvas.drawText(std::wstring(product::wideVersion) + L"  \u00B7  " + shown(L"Public preview") + L"  \u00B7  " +
                        shown(L"Unsigned publisher"),
                    34, 513, 430, 18, 10, false, leading);
    canvas.drawText(std::wstring(product::widePublisher), 34, 534, 420, 18, 10, false, leading);
    for (const PageItem& item : items)
        if (item.isButton()) drawButton(record, canvas, palette, item);
    if (record.focusVisible)
        for (const PageItem& item : items)
            if (item.kind == record.focus) drawFocusRing(canvas, palette, item);
}

} // namespace elvara
