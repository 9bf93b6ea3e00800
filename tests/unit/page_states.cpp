#include "unit/page_states.h"

#include "install/elevated_relaunch.h"
#include "install/install_worker.h"
#include "ui/wizard_pages.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace elvara::test {

namespace {

void focus(Installer& record, ItemKind item)
{
    record.focus = item;
    record.focusVisible = true;
}

void finish(Installer& record, bool succeeded)
{
    record.page = Finished;
    record.succeeded = succeeded;
    record.resultText = succeeded ? installSuccessText : confirmationCancelledText;
}

void installing(Installer& record, std::uint32_t percent)
{
    record.page = Installing;
    record.progress = percent;
}

} // namespace

// Pressing acts at once (a button acts on the press itself), so there is no pressed state
// to show apart from the page that follows.
std::vector<PageState> everyPageState()
{
    return {
        {L"welcome", [](Installer&) {}},
        {L"welcome-hover", [](Installer& r) { r.primaryHighlight = 1; }},
        {L"welcome-focus", [](Installer& r) { focus(r, ItemKind::PrimaryButton); }},
        {L"licence", [](Installer& r) { r.page = Licence; }},
        {L"licence-disabled-hover", [](Installer& r) { r.page = Licence; r.primaryHighlight = 1; }},
        {L"licence-focus-text", [](Installer& r) { r.page = Licence; focus(r, ItemKind::LicenceText); }},
        {L"licence-focus-checkbox", [](Installer& r) { r.page = Licence; focus(r, ItemKind::Checkbox); }},
        {L"licence-ticked", [](Installer& r) { r.page = Licence; r.licenceAccepted = true; }},
        {L"licence-ticked-hover", [](Installer& r) { r.page = Licence; r.licenceAccepted = true; r.primaryHighlight = 1; }},
        {L"licence-back-hover-focus", [](Installer& r) {
             r.page = Licence;
             r.backHighlight = 1;
             focus(r, ItemKind::BackButton);
         }},
        {L"ready", [](Installer& r) { r.page = Ready; }},
        {L"ready-only-for-me", [](Installer& r) { r.page = Ready; r.scope = InstallScope::User; }},
        {L"ready-focus-install", [](Installer& r) { r.page = Ready; focus(r, ItemKind::PrimaryButton); }},
        {L"installing-0", [](Installer& r) { installing(r, 0); }},
        {L"installing-4", [](Installer& r) { installing(r, 4); }},
        {L"installing-64", [](Installer& r) { installing(r, 64); }},
        {L"installing-100", [](Installer& r) { installing(r, 100); }},
        {L"finished", [](Installer& r) { finish(r, true); }},
        {L"finished-focus-close", [](Installer& r) { finish(r, true); focus(r, ItemKind::PrimaryButton); }},
        {L"needs-attention", [](Installer& r) { finish(r, false); }},
    };
}

SystemColours readColourScheme(const std::wstring& regFile)
{
    std::ifstream in{std::filesystem::path(regFile)};
    if (!in) throw std::runtime_error("colour scheme cannot be read");
    std::map<std::string, layout::Rgb8> values;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto split = line.find("\"=\"");
        if (line.size() < 6 || line.front() != '"' || split == std::string::npos) continue;
        std::istringstream rgb(line.substr(split + 3, line.size() - split - 4));
        int r = -1, g = -1, b = -1;
        rgb >> r >> g >> b;
        if (r < 0 || g < 0 || b < 0 || r > 255 || g > 255 || b > 255) throw std::runtime_error("bad colour: " + line);
        values[line.substr(1, split - 1)] = {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                             static_cast<std::uint8_t>(b)};
    }
    const auto value = [&values](const char* name) {
        const auto found = values.find(name);
        if (found == values.end()) throw std::runtime_error(std::string("colour scheme lacks ") + name);
        return found->second;
    };
    SystemColours colours;
    colours.window = value("Window");
    colours.windowText = value("WindowText");
    colours.buttonFace = value("ButtonFace");
    colours.buttonText = value("ButtonText");
    colours.highlight = value("Hilight");
    colours.highlightText = value("HilightText");
    colours.grayText = value("GrayText");
    return colours;
}

void renderWizard(Canvas& canvas, Installer& record, const std::wstring& pngFile)
{
    canvas.renderToPng(pngFile, 780, 560, [&](Canvas& target) { drawWizard(record, target); });
}

} // namespace elvara::test
