#pragma once
#include <string>

namespace elvara {

struct WizardState;

// The licence exactly as installed in Product/EULA.txt, CR LF line breaks.
std::wstring licenceText();

// Creates the licence control on the first visit of the Licence page, shows it
// there and hides it on every other page.
void updateLicenceView(WizardState& record);
// Places the control and sizes its font and margins for the window's DPI.
void scaleLicenceView(WizardState& record);

} // namespace elvara
