#include "install/install_worker.h"

#include "base/failure.h"
#include "install/administrator.h"
#include "install/install_lock.h"
#include "install/install_transaction.h"
#include "install/uninstall_registration.h"
#include "package/text.h"


namespace elvara {

namespace {

// Stands in for a failure text that cannot itself be converted.
constexpr wchar_t unreadableFailureText[] = L"The installation failed for a reason that cannot be shown.";

void installEverything(InstallStatus& record)
{
    failIf(!isElevatedAdministrator(), administratorRequiredText);
    const InstallLocations locations = resolveInstallLocations();
    {
        const InstallLock onlyInstallation;
        const std::vector<PackageEntry> entries = parseSetupPackage(loadPackageResource());
        installPackage(entries, locations,
                       [&record](std::uint32_t percent) { record.progress.exchange(percent); });
        registerUninstallEntry(locations);
    }
    std::lock_guard lock(record.resultMutex);
    record.resultText = installSuccessText;
}

void publishFailure(InstallStatus& record, const char* text) noexcept
{
    try {
        std::wstring wide;
        try {
            wide = text != nullptr ? utf8ToWide(text) : std::wstring(unreadableFailureText);
        } catch (...) {
            wide = unreadableFailureText;
        }
        std::lock_guard lock(record.resultMutex);
        record.resultText = std::move(wide);
        record.succeeded.store(false);
    } catch (...) {
        // Even without the text the window must leave the Installing page.
        record.succeeded.store(false);
    }
}

} // namespace

void runInstallWorker(InstallStatus& record) noexcept
{
    try {
        installEverything(record);
        record.succeeded.store(true);
    } catch (const std::exception& failure) {
        publishFailure(record, failure.what());
    } catch (...) {
        publishFailure(record, nullptr);
    }
    PostMessageW(record.window, WM_INSTALL_FINISHED, 0, 0);
}

} // namespace elvara
