#include "app/run_modes.h"

#include "app/command_line.h"
#include "app/installer.h"
#include "base/std_streams.h"
#include "package/setup_package.h"
#include "ui/layout.h"
#include "ui/setup_window.h"
#include "ui/wizard_pages.h"

namespace elvara {

int runVerificationMode(ComApartment& apartment)
{
    const auto entries = parseSetupPackage(loadPackageResource());
    writeStandardOutput("Verified " + std::to_string(entries.size()) + " embedded files. No changes made.\n");
    apartment.leave();
    return 0;
}

int runPreviewMode(ComApartment& apartment, const std::wstring& outputPath)
{
    Installer record;
    Canvas canvas;
    canvas.renderToPng(outputPath, static_cast<std::uint32_t>(layout::designWidth),
                       static_cast<std::uint32_t>(layout::designHeight), [&record](Canvas& target) { drawWizard(record, target); });
    apartment.leave();
    return 0;
}

int runWindowedMode(ComApartment& apartment, const std::vector<std::wstring>& arguments)
{
    Installer record;
    const int exitCode = runSetupWindow(record, hasPerformSwitch(arguments));
    apartment.leave();
    return exitCode;
}

} // namespace elvara
