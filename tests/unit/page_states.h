#pragma once
// Every page of the wizard in every state it can show, for the off-screen renderer and the
// tests that judge the pictures; and the system colours of a high-contrast theme as the
// registry holds them (a REGEDIT4 export of HKCU\Control Panel\Colors).
#include "app/installer.h"

#include <functional>
#include <string>
#include <vector>

namespace elvara::test {

struct PageState {
    std::wstring name;
    std::function<void(Installer&)> prepare;
};

std::vector<PageState> everyPageState();

// The system colours of a theme file; throws when one the wizard uses is missing.
SystemColours readColourScheme(const std::wstring& regFile);

// Draws the record's wizard off-screen into a PNG. One canvas serves many pictures: its
// factories are what costs.
void renderWizard(Canvas& canvas, Installer& record, const std::wstring& pngFile);

} // namespace elvara::test
