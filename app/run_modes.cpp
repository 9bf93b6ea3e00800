#include "app/run_modes.h"

#include "app/command_line.h"
#include "app/exit_codes.h"
#include "app/installer.h"
#include "app/quiet_relaunch.h"
#include "base/command_line.h"
#include "base/event_log.h"
#include "base/product.h"
#include "base/report_channel.h"
#include "base/std_streams.h"
#include "install/administrator.h"
#include "install/install_lock.h"
#include "install/install_worker.h"
#include "package/text.h"
#include "package/setup_package.h"
#include "ui/layout.h"
#include "ui/setup_window.h"
#include "ui/wizard_pages.h"

namespace elvara {

namespace {

static_assert(exit_codes::win32Cancelled == ERROR_CANCELLED);
static_assert(exit_codes::anotherInstallation == ERROR_INSTALL_ALREADY_RUNNING);
static_assert(exit_codes::invalidCommandLine == ERROR_INVALID_COMMAND_LINE);
static_assert(std::wstring_view(reportPipeWord) == std::wstring_view(reportPipeSwitch));
static_assert(refusedValueExitCode == exit_codes::failure);
static_assert(invalidCommandLineExitCode == exit_codes::invalidCommandLine);

// Opens the log that "--log FILE" names, if any, and writes the run's first lines; an
// elevated copy with its caller's channel writes them there and opens no file.
// False only when a log was asked for and cannot be opened.
bool openRequestedLog(const std::vector<std::wstring>& arguments)
{
    const auto requested = report_channel::isConnected() ? std::nullopt : logFileArgument(arguments);
    if (requested && !event_log::open(*requested)) return false;
    if (!requested && !report_channel::isConnected()) return true;
    std::string commandLine; // every word as given, the language switch included
    for (const std::wstring& argument : commandLineArguments()) commandLine += " " + wideToUtf8(argument);
    event_log::write(std::string(product::name) + " " + std::string(product::version) + " setup started (process " +
                     std::to_string(GetCurrentProcessId()) + "), arguments:" + commandLine);
    return true;
}

int finishLog(int exitCode)
{
    event_log::write("Exit code " + std::to_string(exitCode));
    event_log::close();
    return exitCode;
}

int installQuietly(const std::vector<std::wstring>& arguments)
{
    if (const auto pipe = reportPipeArgument(arguments); pipe && !report_channel::connect(*pipe))
        return exit_codes::failure; // no caller is left to tell
    if (!openRequestedLog(arguments)) {
        const auto requested = logFileArgument(arguments);
        writeStandardError("The log file \"" + wideToUtf8(requested.value_or(L"")) +
                           "\" cannot be written. Nothing was installed.\n");
        return exit_codes::failure;
    }
    const InstallScope scope = requestedScope(arguments).value_or(InstallScope::Machine);
    if (scope == InstallScope::Machine && !hasElevatedCopySwitch(arguments) && !isElevatedAdministrator()) {
        event_log::write("Elevated administrator: no");
        return relaunchElevatedAndWait();
    }
    try {
        const InstallOutcome outcome = installProduct(scope, [](std::uint32_t) {});
        const std::string line = "Installed " + std::string(product::name) + " " + std::string(product::version) +
                                 "." + wideToUtf8(workingFoldersLeftText(outcome));
        event_log::write("Result: " + line);
        writeStandardOutput(line + "\n");
        return exit_codes::success;
    } catch (const InstallLockHeld& held) {
        event_log::writeFailure("Result", held);
        writeStandardError(std::string(held.what()) + "\n");
        return exit_codes::anotherInstallation;
    } catch (const std::exception& failure) {
        event_log::writeFailure("Result", failure);
        writeStandardError(std::string(failure.what()) + "\n");
        return exit_codes::failure;
    }
}

} // namespace

int runVerificationMode(ComApartment& apartment)
{
    const auto entries = verifySetupPackageCompletely(loadPackageResource());
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
    openRequestedLog(arguments); // the wizard goes on without a log that cannot be opened
    int exitCode = exit_codes::failure;
    {
        Installer record;
        record.scope = wizardScope(arguments, mayElevateThemselves());
        exitCode = runSetupWindow(record, hasPerformSwitch(arguments));
        if (record.page == Finished) {
            std::lock_guard lock(record.resultMutex);
            event_log::write("Result: " + wideToUtf8(record.resultText));
        }
        apartment.leave();
    }
    return finishLog(exitCode);
}

int runQuietMode(const std::vector<std::wstring>& arguments) { return finishLog(installQuietly(arguments)); }

} // namespace elvara
