#include "app/run_modes.h"

#include "app/command_line.h"
#include "app/exit_codes.h"
#include "app/installer.h"
#include "base/event_log.h"
#include "base/product.h"
#include "base/std_streams.h"
#include "install/administrator.h"
#include "install/elevated_relaunch.h"
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

std::wstring absolutePath(const std::wstring& path)
{
    if (path.empty()) return {};
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return {};
    full.resize(length);
    return full;
}

// Opens the log that "--log FILE" names, if any, and writes the run's first lines.
// False only when a log was asked for and cannot be opened.
bool openRequestedLog(const std::vector<std::wstring>& arguments)
{
    const auto requested = logFileArgument(arguments);
    if (!requested) return true;
    const std::wstring path = absolutePath(*requested);
    if (path.empty() || !event_log::open(path)) return false;
    std::string commandLine;
    for (const std::wstring& argument : arguments) commandLine += " " + wideToUtf8(argument);
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

std::wstring quoted(const std::wstring& word) { return L"\"" + word + L"\""; }

int relaunchElevatedAndWait()
{
    std::wstring parameters = L"--quiet";
    if (event_log::isOpen()) parameters += L" --log " + quoted(event_log::path());
    parameters += L" ";
    parameters += elevatedCopySwitch;
    event_log::write("Not elevated: starting the elevated copy with \"" + wideToUtf8(parameters) + "\"");
    const ComApartment shellApartment; // the shell may hand "runas" to its extensions
    const ElevatedRun run = runElevatedCopy(parameters);
    if (!run.started) {
        const int exitCode = exit_codes::forRelaunchFailure(run.startError);
        const std::string text = exitCode == exit_codes::userCancelled
                                     ? wideToUtf8(confirmationCancelledText)
                                     : "The elevated installation could not be started. Nothing was installed.";
        event_log::write("The elevated copy did not start (Win32 error " + std::to_string(run.startError) + "): " + text);
        writeStandardError(text + "\n");
        return exitCode;
    }
    event_log::write("The elevated copy ended with exit code " + std::to_string(run.exitCode));
    return static_cast<int>(run.exitCode);
}

int installQuietly(const std::vector<std::wstring>& arguments)
{
    if (!openRequestedLog(arguments)) {
        const auto requested = logFileArgument(arguments);
        writeStandardError("The log file \"" + wideToUtf8(requested.value_or(L"")) +
                           "\" cannot be written. Nothing was installed.\n");
        return exit_codes::failure;
    }
    if (!hasElevatedCopySwitch(arguments) && !isElevatedAdministrator()) {
        event_log::write("Elevated administrator: no");
        return relaunchElevatedAndWait();
    }
    try {
        installProduct([](std::uint32_t) {});
        const std::string line =
            "Installed " + std::string(product::name) + " " + std::string(product::version) + ".";
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
    openRequestedLog(arguments); // the wizard goes on without a log that cannot be opened
    int exitCode = exit_codes::failure;
    {
        Installer record;
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
