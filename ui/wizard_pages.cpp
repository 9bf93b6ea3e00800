#include "ui/wizard_pages.h"

#include "install/install_locations.h"

#include <cmath>

namespace elvara {

namespace {

constexpr auto leading = DWRITE_TEXT_ALIGNMENT_LEADING;
constexpr auto centred = DWRITE_TEXT_ALIGNMENT_CENTER;

struct Rgb {
    float r, g, b;
};

void use(Canvas& canvas, Rgb colour, float alpha = 1.0f) { canvas.setColor(colour.r, colour.g, colour.b, alpha); }

constexpr Rgb headlineColour{0.94f, 0.92f, 0.97f};
constexpr Rgb bodyColour{0.67f, 0.64f, 0.72f};
constexpr Rgb accentColour{0.72f, 0.57f, 0.9f};

const wchar_t* headlineFor(const Installer& record, bool succeeded)
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
    canvas.fillGradient(34, 309, 712, 104, D2D1::ColorF(0.17f, 0.15f, 0.21f), D2D1::ColorF(0.105f, 0.1f, 0.14f), 15,
                        true, 1);
    canvas.setColor(0.34f, 0.3f, 0.41f, 1.0f);
    canvas.strokeRect(34.5f, 309.5f, 711, 103, 15, 1);
    canvas.setColor(0.8f, 0.71f, 0.97f, 1.0f);
    canvas.drawText(L"MERIDIAN + VALE / YOUR VERIFIED ACCOUNT", 54, 326, 648, 24, 12, true, leading);
    canvas.setColor(0.74f, 0.71f, 0.79f, 1.0f);
    canvas.drawText(L"Both models are included during the temporary Free phase. Windows 10/11 x64, VST3. Close your "
                    L"DAW. Installation in the standard VST3 folder needs administrator confirmation.",
                    54, 355, 654, 60, 14, false, leading);
}

void drawLicence(const Installer& record, Canvas& canvas)
{
    canvas.drawText(L"The full licence is shown below and installed with the plugin.", 34, 190, 700, 24, 14, false,
                    leading);
    canvas.setColor(0.29f, 0.24f, 0.36f, 1.0f);
    canvas.strokeRect(34, 437, 20, 20, 3, 1);
    if (record.licenceAccepted) {
        canvas.setColor(0.74f, 0.59f, 0.93f, 1.0f);
        canvas.fillRect(38, 441, 12, 12, 2);
    }
    canvas.setColor(0.81f, 0.78f, 0.86f, 1.0f);
    canvas.drawText(L"I accept the plugin licence.", 66, 438, 667, 28, 13, false, leading);
}

void drawReady(Canvas& canvas)
{
    const InstallLocations locations = resolveInstallLocations();
    canvas.drawText(L"VST3 plugin", 34, 203, 190, 24, 12, true, leading);
    canvas.drawText(locations.bundleFolder, 34, 237, 702, 44, 14, false, leading);
    canvas.drawText(L"Documents and uninstaller", 34, 291, 500, 24, 12, true, leading);
    canvas.drawText(locations.productFolder, 34, 324, 702, 35, 14, false, leading);
    use(canvas, accentColour);
    canvas.drawText(L"All embedded files are checked with SHA-256 before installation.", 34, 385, 700, 25, 14, false,
                    leading);
}

void drawInstalling(const Installer& record, Canvas& canvas)
{
    canvas.setColor(0.19f, 0.16f, 0.24f, 1.0f);
    canvas.fillRect(34, 232, 710, 8, 4);
    const float fill = static_cast<float>(record.progress.load()) * 7.1f;
    if (fill > 0.0f) {
        canvas.fillGradient(34, 232, fill, 8, D2D1::ColorF(0.56f, 0.41f, 0.78f), D2D1::ColorF(0.85f, 0.77f, 1.0f), 4,
                            false, 1);
    }
    if (record.animationsEnabled && fill > 30.0f) {
        const float offset = fmodf(static_cast<float>(GetTickCount64()) * 0.12f, fill);
        canvas.setColor(1, 1, 1, 0.35f);
        canvas.fillRect(34 + offset, 233, std::fmin(fill - offset, 22.0f), 5, 2);
    }
    canvas.setColor(0.76f, 0.73f, 0.81f, 1.0f);
    canvas.drawText(L"Please keep this window open.", 34, 260, 710, 44, 15, false, leading);
}

void drawFinished(Installer& record, Canvas& canvas, bool succeeded)
{
    std::wstring message;
    {
        std::lock_guard lock(record.resultMutex);
        message = record.resultText;
    }
    canvas.drawText(message, 34, 205, 712, 167, 16, false, leading);
    if (succeeded) {
        use(canvas, accentColour);
        canvas.drawText(L"FL STUDIO / Options \u2192 Manage plugins \u2192 Find installed plugins", 34, 392, 706, 48,
                        15, true, leading);
    }
}

} // namespace

void drawButton(const Installer& record, Canvas& canvas, float x, float width, const std::wstring& label,
                bool primary)
{
    const bool enabled = !(primary && record.page == Licence && !record.licenceAccepted);
    const float highlight = primary ? record.primaryHighlight : record.backHighlight;
    const bool bright = primary && enabled;
    canvas.setColor(0, 0, 0, 0.2f);
    canvas.fillRect(x, 506, width, 36, 18);
    if (bright)
        canvas.fillGradient(x, 503, width, 36, D2D1::ColorF(0.79f, 0.69f, 0.97f), D2D1::ColorF(0.6f, 0.48f, 0.81f),
                            18, true, 1);
    else
        canvas.fillGradient(x, 503, width, 36, D2D1::ColorF(0.19f, 0.18f, 0.23f), D2D1::ColorF(0.11f, 0.105f, 0.14f),
                            18, true, 1);
    if (highlight > 0.0f && enabled) {
        canvas.setColor(1, 1, 1, 0.1f * highlight);
        canvas.fillRect(x, 503, width, 36, 18);
    }
    if (bright)
        canvas.setColor(0.83f, 0.75f, 1.0f, 1.0f);
    else
        canvas.setColor(0.35f, 0.32f, 0.42f, 1.0f);
    canvas.strokeRect(x + 0.5f, 503.5f, width - 1, 35, 18, 1);
    if (bright)
        canvas.setColor(0.1f, 0.07f, 0.15f, 1.0f);
    else if (!primary)
        canvas.setColor(0.94f, 0.92f, 0.98f, 1.0f);
    else
        canvas.setColor(0.61f, 0.59f, 0.65f, 1.0f);
    canvas.drawText(label, x + 8, 512, width - 16, 24, 13, true, centred);
}

void drawWizard(Installer& record, Canvas& canvas)
{
    const bool succeeded = record.succeeded.load();
    canvas.fillGradient(0, 0, 780, 560, D2D1::ColorF(0.1f, 0.095f, 0.12f), D2D1::ColorF(0.05f, 0.05f, 0.065f), 0, true,
                        1);
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
    canvas.drawText(L"1.3.3  \u00B7  Public preview  \u00B7  Unsigned publisher", 34, 513, 430, 18, 10, false, leading);
    canvas.drawText(L"Anselm Rook / ElvaraSound", 34, 534, 420, 18, 10, false, leading);
    if (record.page == Licence || record.page == Ready) drawButton(record, canvas, 478, 110, L"Back", false);
    if (record.page != Installing) {
        const wchar_t* label = record.page == Finished ? L"Close" : record.page == Ready ? L"Install" : L"Continue";
        drawButton(record, canvas, 600, 144, label, true);
    }
}

} // namespace elvara
