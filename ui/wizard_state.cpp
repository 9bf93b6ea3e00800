#include "ui/wizard_state.h"

#include "install/install_worker.h"

namespace elvara {

WizardState::~WizardState()
{
    if (worker.joinable()) worker.join();
    licenceFont.reset();
    backgroundBrush.reset();
    resultText.clear();
    canvas.reset();
}

void WizardState::execute()
{
    page = Installing;
    busy = true;
    if (licenceEdit != nullptr) ShowWindow(licenceEdit, SW_HIDE);
    InstallStatus* status = this;
    worker = std::thread([status]() noexcept { runInstallWorker(*status); });
}

} // namespace elvara
