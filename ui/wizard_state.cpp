#include "ui/wizard_state.h"

#include "install/install_locations.h"
#include "install/install_worker.h"
#include "ui/wizard_pages.h"

namespace elvara {

namespace {

// For debuggers, crash reports and tests. Windows 10 before version 1607 has no thread
// names, so the function is looked up rather than imported.
void nameThisThread(const wchar_t* name) noexcept
{
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription");
    if (found != nullptr)
        reinterpret_cast<SetDescription>(reinterpret_cast<void (*)()>(found))(GetCurrentThread(), name);
}

} // namespace

WizardState::~WizardState()
{
    if (worker.joinable()) worker.join();
    licenceFont.reset();
    backgroundBrush.reset();
    resultText.clear();
    canvas.reset();
    accessible.Reset();
}

PageFacts readPageFacts(WizardState& record, FolderPaths folders)
{
    PageFacts facts;
    facts.page = record.page;
    facts.licenceAccepted = record.licenceAccepted;
    facts.succeeded = record.succeeded.load();
    facts.progress = record.progress.load();
    facts.onlyForMe = record.scope == InstallScope::User;
    if (record.canvas) {
        facts.labelWidth = labelWidthOn(*record.canvas);
        facts.textHeight = textHeightOn(*record.canvas);
    }
    if (record.page == Finished) {
        std::lock_guard lock(record.resultMutex);
        facts.resultText = record.resultText;
    }
    if (record.page == Ready && folders == FolderPaths::Resolve) {
        InstallLocations locations = resolveInstallLocations(record.scope);
        facts.bundleFolder = std::move(locations.bundleFolder);
        facts.productFolder = std::move(locations.productFolder);
    }
    return facts;
}

void WizardState::execute()
{
    page = Installing;
    busy = true;
    if (licenceEdit != nullptr) ShowWindow(licenceEdit, SW_HIDE);
    InstallStatus* status = this;
    worker = std::thread([status]() noexcept {
        nameThisThread(installWorkerThreadName);
        runInstallWorker(*status);
    });
}

} // namespace elvara
