#include "ui/wizard_pages.h"

#include "base/product.h"
#include "install/install_locations.h"
#include "ui/layout.h"

#include <cmath>

namespace elvara {

namespace {

constexpr auto leading = DWRITE_TEXT_ALIGNMENT_LEADING;
constexpr auto centred = DWRITE_TEXT_ALIGNMENT_CENTER;

struct Rgb {
    float r, g, b;
};

void use(Canvas& canvas, Rgb colour, float alpha = 1.0f) { canvas.setColor(colour.r, colour.g, colour.b, alpha); }

D2D1_COLOR_F colourOf(const layout::Colour& colour) { return D2D1::ColorF(colour.r, colour.g, colour.b, colour.a); }

constexpr Rgb headlineColour{0.94f, 0.92f, 0.97f};
constexpr Rgb bodyColour{0.67f, 0.64f, 0.72f};
constexpr Rgb accentColour{0.72f, 0.57f, 0.9f};

const wchar_t* headlineFor(const WizardState& record, bool succeeded)
{
    switch (record.page) {
    case Welcome:
        return L"Your master bus. Upgraded.";
    case Licence:
        return L"A few things to read.";
    case Ready:
        return L"Ready for your DAW.";
    case Installing:
        return L"Installing ElvaraSound\u2026";
    default:
        return succeeded ? L"You're ready to make music." : L"Installation needs attention.";
    }
}

void drawHeader(Canvas& canvas)
{
    canvas.drawLogoMark(30, 30, 38);
    use(canvas, headlineColour);
    canvas.drawText(L"ElvaraSound", 83, 31, 260, 30, 24, true, leading);
    canvas.setColor(0.67f, 0.65f, 0.72f, 1.0f);
    canvas.drawText(L"LIVEWIRE EDITION / WINDOWS", 85, 64, 400, 20, 10, false, leading);
    canvas.setColor(0.26f, 0.23f, 0.31f, 1.0f);
    canvas.drawLine(30, 103, 750, 103, 1);
}

void drawWelcome(Canvas& canvas)
{
    canvas.drawText(L"Meridian and Vale in your DAW, with native processing and your existing ElvaraSound account. "
                    L"No audio uploads. No generation credits for live processing.",
                    34, 202, 674, 86, 16, false, leading);
    const layout::Box card = layout::welcomeCard;
    canvas.fillGradient(card.x, card.y, card.width, card.height, D2D1::ColorF(0.17f, 0.15f, 0.21f),
                        D2D1::ColorF(0.105f, 0.1f, 0.14f), 15, true, 1);
    canvas.setColor(0.34f, 0.3f, 0.41f, 1.0f);
    canvas.strokeRect(card.x + 0.5f, card.y + 0.5f, card.width - 1, card.height - 1, 15, 1);
    canvas.setColor(0.8f, 0.71f, 0.97f, 1.0f);
    canvas.drawText(L"MERIDIAN + VALE / YOUR VERIFIED ACCOUNT", 54, 326, 648, 24, 12, true, leading);
    canvas.setColor(0.74f, 0.71f, 0.79f, 1.0f);
    canvas.drawText(L"Both models are included during the temporary Free phase. Windows 10/11 x64, VST3. Close your "
                    L"DAW. Installation in the standard VST3 folder needs administrator confirmation.",
                    54, 355, 654, 60, 14, false, leading);
}

void drawLicence(const WizardState& record, Canvas& canvas)
{
    canvas.drawText(L"The full licence is shown below and installed with the plugin.", 34, 190, 700, 24, 14, false,
                    leading);
    canvas.setColor(0.29f, 0.24f, 0.36f, 1.0f);
    const layout::Box box = layout::checkbox;
    canvas.strokeRect(box.x, box.y, box.width, box.height, 3, 1);
    if (record.licenceAccepted) {
        const layout::Box tick = layout::checkboxTick;
        canvas.setColor(0.74f, 0.59f, 0.93f, 1.0f);
        canvas.fillRect(tick.x, tick.y, tick.width, tick.height, 2);
    }
    const layout::Box label = layout::checkboxLabel;
    canvas.setColor(0.81f, 0.78f, 0.86f, 1.0f);
    canvas.drawText(L"I accept the plugin licence.", label.x, label.y, label.width, label.height, 13, false, leading);
}

void drawReady(Canvas& canvas)
{
    const InstallLocations locations = resolveInstallLocations();
    canvas.drawText(L"VST3 plugin", 34, 203, 190, 24, 12, true, leading);
    const layout::Box bundle = layout::bundleFolderText;
    canvas.drawText(locations.bundleFolder, bundle.x, bundle.y, bundle.width, bundle.height, 14, false, leading);
    canvas.drawText(L"Documents and uninstaller", 34, 291, 500, 24, 12, true, leading);
    const layout::Box product = layout::productFolderText;
    canvas.drawText(locations.productFolder, product.x, product.y, product.width, product.height, 14, false, leading);
    use(canvas, accentColour);
    canvas.drawText(L"All embedded files are checked with SHA-256 before installation.", 34, 385, 700, 25, 14, false,
                    leading);
}

void drawInstalling(const WizardState& record, Canvas& canvas)
{
    canvas.setColor(0.19f, 0.16f, 0.24f, 1.0f);
    const layout::Box track = layout::progressTrack;
    canvas.fillRect(track.x, track.y, track.width, track.height, 4);
    const float fill = static_cast<float>(record.progress.load()) * (track.width / 100.0f);
    if (fill > 0.0f) {
        canvas.fillGradient(track.x, track.y, fill, track.height, D2D1::ColorF(0.56f, 0.41f, 0.78f),
                            D2D1::ColorF(0.85f, 0.77f, 1.0f), 4, false, 1);
    }
    if (record.animationsEnabled && fill > 30.0f) {
        const float offset = fmodf(static_cast<float>(GetTickCount64()) * 0.12f, fill);
        canvas.setColor(1, 1, 1, 0.35f);
        canvas.fillRect(track.x + offset, track.y + 1, std::fmin(fill - offset, 22.0f), 5, 2);
    }
    canvas.setColor(0.76f, 0.73f, 0.81f, 1.0f);
    canvas.drawText(L"Please keep this window open.", 34, 260, 710, 44, 15, false, leading);
}

void drawFinished(WizardState& record, Canvas& canvas, bool succeeded)
{
    std::wstring message;
    {
        std::lock_guard lock(record.resultMutex);
        message = record.resultText;
    }
    const layout::Box result = layout::resultText;
    canvas.drawText(message, result.x, result.y, result.width, result.height, 16, false, leading);
    if (succeeded) {
        use(canvas, accentColour);
        const layout::Box hint = layout::dawHint;
        canvas.drawText(L"FL STUDIO / Options \u2192 Manage plugins \u2192 Find installed plugins", hint.x, hint.y,
                        hint.width, hint.height, 15, true, leading);
    }
}

} // namespace

void drawButton(const WizardState& record, Canvas& canvas, const layout::Box& box, const std::wstring& label,
                bool primary)
{
    const float x = box.x;
    const float width = box.width;
    const float top = box.y;
    const float height = box.height;
    const bool enabled = !(primary && record.page == Licence && !record.licenceAccepted);
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
    canvas.drawText(label, x + 8, top + 9, width - 16, 24, 13, true, centred);
}

void drawWizard(WizardState& record, Canvas& canvas)
{
    const bool succeeded = record.succeeded.load();
    canvas.fillGradient(0, 0, layout::designWidth, layout::designHeight, colourOf(layout::backgroundTop),
                        colourOf(layout::backgroundBottom), 0, true, 1);
    drawHeader(canvas);
    use(canvas, headlineColour);
    canvas.drawText(headlineFor(record, succeeded), 32, 132, 716, 58, 35, true, leading);
    use(canvas, bodyColour);
    switch (record.page) {
    case Welcome:
        drawWelcome(canvas);
        break;
    case Licence:
        drawLicence(record, canvas);
        break;
    case Ready:
        drawReady(canvas);
        break;
    case Installing:
        drawInstalling(record, canvas);
        break;
    default:
        drawFinished(record, canvas, succeeded);
        break;
    }
    canvas.setColor(0.24f, 0.2f, 0.3f, 1.0f);
    canvas.drawLine(30, 483, 750, 483, 1);
    use(canvas, bodyColour);
    canvas.drawText(std::wstring(product::wideVersion) + L"  \u00B7  Public preview  \u00B7  Unsigned publisher", 34, 513,
                    430, 18, 10, false, leading);
    canvas.drawText(std::wstring(product::widePublisher), 34, 534, 420, 18, 10, false, leading);
    if (record.page == Licence || record.page == Ready) drawButton(record, canvas, layout::backButton, L"Back", false);
    if (record.page != Installing) {
        const wchar_t* label = record.page == Finished ? L"Close" : record.page == Ready ? L"Install" : L"Continue";
        drawButton(record, canvas, layout::primaryButton, label, true);
    }
}

} // namespace elvara
