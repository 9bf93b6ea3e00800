#include "install/install_worker.h"

#include "base/event_log.h"
#include "base/failure.h"
#include "install/administrator.h"
#include "install/ended_uninstall_copies.h"
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
    const InstallOutcome outcome =
        installProduct(record.scope, [&record](std::uint32_t percent) { record.progress.exchange(percent); });
    std::wstring text =
        (record.scope == InstallScope::User ? userInstallSuccessText : installSuccessText) + keptBesideText(outcome);
    std::lock_guard lock(record.resultMutex);
    record.resultText = std::move(text);
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

std::uint64_t packageBytes(const std::vector<PackageEntry>& entries) noexcept
{
    std::uint64_t total = 0;
    for (const PackageEntry& entry : entries) total += entry.size;
    return total;
}

} // namespace

std::wstring keptBesideText(const InstallOutcome& outcome)
{
    // The Finished page has room for a few sentences; the log names every file.
    constexpr std::size_t named = 2;
    std::wstring text;
    for (std::size_t i = 0; i < outcome.keptBeside.size() && i < named; ++i)
        text += L" Your own file " + outcome.keptBeside[i].original + L" is now " + outcome.keptBeside[i].keptAs +
                L": this version installs a file of that name.";
    if (outcome.keptBeside.size() > named)
        text += L" " + std::to_wstring(outcome.keptBeside.size() - named) +
                L" more of your files were kept beside new ones, each with \"(yours)\" in its name.";
    return text + workingFoldersLeftText(outcome);
}

std::wstring workingFoldersLeftText(const InstallOutcome& outcome)
{
    std::wstring text;
    for (const std::wstring& folder : outcome.workingFoldersLeft)
        text += L" The working folder " + folder +
                L" could not be cleared yet (a program, such as a DAW, may still use a file in it). Close that "
                L"program; the next run of Setup or the uninstaller clears it.";
    return text;
}

InstallOutcome installProduct(InstallScope scope, const ProgressCallback& progress)
{
    const bool elevated = isElevatedAdministrator();
    event_log::write(std::string("Elevated administrator: ") + (elevated ? "yes" : "no"));
    failIf(scope == InstallScope::Machine && !elevated, administratorRequiredText);
    const InstallLocations locations = resolveInstallLocations(scope);
    event_log::write("Install folders: " + wideToUtf8(locations.bundleFolder) + " and " +
                     wideToUtf8(locations.productFolder));
    const InstallLock onlyInstallation(scope);
    removeEndedUninstallCopies();
    std::vector<PackageEntry> entries;
    {
        event_log::Phase phase("Package verification");
        entries = parseSetupPackage(loadPackageResource());
        event_log::write("Verified " + std::to_string(entries.size()) + " entries, " +
                         std::to_string(packageBytes(entries)) + " bytes");
        phase.succeeded();
    }
    InstallOutcome outcome;
    {
        event_log::Phase phase("Install transaction");
        outcome = installPackage(entries, locations, progress);
        phase.succeeded();
    }
    for (const KeptBeside& kept : outcome.keptBeside)
        event_log::write("Your own file " + wideToUtf8(kept.original) + " is now " + wideToUtf8(kept.keptAs) +
                         ": this version installs a file of that name.");
    event_log::Phase phase("Registration");
    registerUninstallEntry(locations, packageBytes(entries));
    phase.succeeded();
    return outcome;
}

void runInstallWorker(InstallStatus& record) noexcept
{
    try {
        installEverything(record);
        record.succeeded.store(true);
    } catch (const std::exception& failure) {
        event_log::writeFailure("Installation failed", failure);
        publishFailure(record, failure.what());
    } catch (...) {
        publishFailure(record, nullptr);
    }
    if (record.window != nullptr) PostMessageW(record.window, WM_INSTALL_FINISHED, 0, 0);
}

} // namespace elvara
