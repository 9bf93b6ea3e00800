// The uninstaller of ElvaraSound Livewire Edition, registered as the UninstallString
// of the setup program's uninstall entry.
//   Uninstall.exe [/S | --quiet | /quiet] [--log FILE] [--scope machine|user] [--lang TAG | /LANG=TAG]
//                 [--help | /? | --version]
// Exit codes: 0 removed or nothing to remove, 1 failure or refusal, 1602 cancelled
// by the user, 1618 another installation is running, 1639 a command line it refuses.
// The machine's uninstaller that runs without administrator rights starts its own
// elevated copy ("runas") and ends with its exit code; a user's runs as it is.
#include "base/com_apartment.h"
#include "base/command_line.h"
#include "base/event_log.h"
#include "base/executable_path.h"
#include "base/product.h"
#include "base/report_channel.h"
#include "base/std_streams.h"
#include "base/command_line_switches.h"
#include "install/administrator.h"
#include "install/elevated_relaunch.h"
#include "install/ended_uninstall_copies.h"
#include "install/install_lock.h"
#include "install/install_locations.h"
#include "install/recovery.h"
#include "install/swap_uninstaller.h"
#include "install/uninstall_registration.h"
#include "language/display_language.h"
#include "language/language_switch.h"
#include "language/preferred_languages.h"
#include "language/help_output.h"
#include "package/text.h"
#include "own_scope.h"
#include "self_removal.h"
#include "uninstall.h"
#include "uninstaller_texts.h"

#include <windows.h>

#include <optional>
#include <string>

namespace {

using namespace elvara;

// The codes that deployment tools know, as Windows Installer uses them.
constexpr int exitFailure = 1;
constexpr int exitCancelled = ERROR_INSTALL_USEREXIT;
constexpr int exitAnotherInstall = ERROR_INSTALL_ALREADY_RUNNING;
static_assert(invalidCommandLineExitCode == ERROR_INVALID_COMMAND_LINE);
static_assert(refusedValueExitCode == exitFailure);

const std::wstring title = std::wstring(product::wideName) + L" \u00B7 Uninstall";

// Only in the copy that the unelevated machine uninstaller starts: it never relaunches,
// and it reports over its caller's pipe instead of opening a log.
constexpr wchar_t elevatedCopySwitch[] = L"--elevated-copy";

struct Options {
    bool silent = false;
    std::optional<std::wstring> logFile;
    bool elevatedCopy = false;
    std::optional<std::wstring> reportPipe;
    std::optional<InstallScope> askedScope; // checked against the uninstaller's own
    std::optional<CommandLineRefusal> refusal;
};

// Read as Setup reads its own (base/command_line_switches.h).
Options readOptions(const SwitchReading& reading)
{
    Options options;
    options.silent = reading.has(SwitchMeaning::Quiet);
    options.logFile = reading.value(SwitchMeaning::Log);
    options.elevatedCopy = reading.has(SwitchMeaning::ElevatedCopy);
    options.reportPipe = reading.value(SwitchMeaning::ReportPipe);
    if (const auto scope = reading.value(SwitchMeaning::Scope)) options.askedScope = scopeFromWord(*scope);
    options.refusal = reading.refusal();
    return options;
}

// Silent: a result on standard output, a failure on standard error. Otherwise a message box,
// which may show a summary of the full text; the log and the streams get the full text.
void tell(const Options& options, const std::wstring& summary, bool problem, const std::wstring& full)
{
    event_log::write((problem ? "result (failure): " : "result: ") + wideToUtf8(full));
    if (!options.silent)
        MessageBoxW(nullptr, shownByUninstaller(summary).c_str(), shownByUninstaller(title).c_str(),
                    MB_OK | (problem ? MB_ICONWARNING : MB_ICONINFORMATION));
    else if (problem)
        writeStandardError(wideToUtf8(full) + "\n");
    else
        writeStandardOutput(wideToUtf8(full) + "\n");
}

void tell(const Options& options, const std::wstring& text, bool problem) { tell(options, text, problem, text); }

bool confirmed(const InstallLocations& locations)
{
    const std::wstring question =
        L"Remove " + std::wstring(product::wideName) + L" from this computer?\n\n"
        L"This deletes the ElvaraSound VST3 plugin from\n" + locations.bundleFolder +
        L"\nthe licence, documents and this uninstaller from\n" + locations.productFolder +
        L"\nand its entry in Installed apps.\n\nFiles that you added to these folders yourself are kept. "
        L"Close your DAW before you continue.";
    return MessageBoxW(nullptr, shownByUninstaller(question).c_str(), shownByUninstaller(title).c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

// A message box shows the first items of a long list; the log and the output name every one.
constexpr std::size_t itemsShown = 10;
constexpr std::size_t everyItem = static_cast<std::size_t>(-1);

std::wstring listed(const std::vector<std::wstring>& lines, std::size_t shown)
{
    std::wstring text;
    for (std::size_t i = 0; i < lines.size() && i < shown; ++i) text += L"\n" + lines[i];
    if (lines.size() > shown) text += L"\n(and " + std::to_wstring(lines.size() - shown) + L" more)";
    return text;
}

std::wstring resultText(const UninstallReport& report, bool scheduledAtRestart, bool leftInPlace,
                        const InstallLocations& locations, std::size_t shown)
{
    const std::wstring name(product::wideName);
    if (report.outcome == UninstallOutcome::Incomplete)
        return name + L" was not completely removed. These stayed:" + listed(report.problems, shown) +
               L"\n\nClose your DAW and any program or window that uses these files or folders (a command prompt open "
               L"in one of them counts), then run the uninstaller again; it finishes the removal.";
    std::wstring text = report.outcome == UninstallOutcome::Removed
                            ? name + L" was removed."
                            : name + L" is not installed. Nothing was removed.";
    if (!report.keptFiles.empty())
        text += L"\n\nFiles that you added were kept, with their folder's ElvaraSound marker file, so that Setup can "
                L"install into the folder again:" +
                listed(report.keptFiles, shown);
    if (scheduledAtRestart)
        text += L"\n\nThe uninstaller could not remove itself now; Windows deletes it when the computer restarts. Its "
                L"folder " + locations.productFolder + L" stays with its marker file: Setup can install there again, or "
                L"you can delete the folder after the restart.";
    if (leftInPlace)
        text += L"\n\nThe uninstaller could not remove itself. Delete " + locations.productFolder +
                L"\\Uninstall.exe yourself.";
    return text;
}

// Without administrator rights the machine's uninstaller hands the removal to its
// elevated copy (one consent prompt) and ends with the copy's exit code; the copy's
// result and log lines come back over a pipe, as for Setup's quiet relaunch.
int relaunchElevated(const Options& options)
{
    // The copy speaks the language of this run.
    const std::wstring parameters = std::wstring(options.silent ? L"/S " : L"") + elevatedCopySwitch + L" " +
                                    languageSwitch + L" " + std::wstring(displayLanguage().tag);
    event_log::write("Not elevated: starting the elevated copy with \"" + wideToUtf8(parameters) + "\"");
    const ComApartment shellApartment; // the shell may hand "runas" to its extensions
    const ElevatedRun run = options.silent ? runElevatedCopy(parameters) : runElevatedCopyWithWindows(parameters);
    if (!run.started) {
        event_log::write("The elevated copy did not start (Win32 error " + std::to_string(run.startError) + ")");
        if (run.startError == ERROR_CANCELLED) {
            tell(options, std::wstring(product::wideName) + L" was not removed: administrator confirmation was cancelled.",
                 true);
            return exitCancelled;
        }
        tell(options, std::wstring(product::wideName) + L" was not removed: the elevated uninstaller could not be started.",
             true);
        return exitFailure;
    }
    event_log::write("The elevated copy ended with exit code " + std::to_string(run.exitCode));
    return static_cast<int>(run.exitCode);
}

int uninstall(const Options& options)
{
    // A deployment tool's typo must not remove something else than it asked for.
    if (options.refusal) {
        tell(options, utf8ToWide(options.refusal->text), true);
        return options.refusal->exitCode;
    }
    if (options.elevatedCopy && options.reportPipe && !report_channel::connect(*options.reportPipe))
        return exitFailure; // no caller is left to tell
    // An elevated copy never opens a file that its unelevated caller named.
    if (!options.elevatedCopy && options.logFile && !event_log::open(*options.logFile) && options.silent) {
        writeStandardError("The log file " + wideToUtf8(*options.logFile) + " cannot be opened. Nothing was removed.\n");
        return exitFailure;
    }
    event_log::write("Uninstall " + std::string(product::name) + " " + std::string(product::version) +
                     " started: " + wideToUtf8(GetCommandLineW()));
    const InstallScope scope = ownInstallScope();
    event_log::write(scope == InstallScope::User ? "scope: this user's own installation" : "scope: the machine's installation");
    // It removes its own scope only: a request for the other one is refused, never followed.
    if (options.askedScope && *options.askedScope != scope) {
        tell(options,
             std::wstring(product::wideName) +
                 (scope == InstallScope::Machine
                      ? L" was not removed: this uninstaller removes the installation for all users, and --scope user "
                        L"asks for the installation for one user. Run the Uninstall.exe in that user's own product folder."
                      : L" was not removed: this uninstaller removes your own installation, and --scope machine asks "
                        L"for the installation for all users. Run the Uninstall.exe in the Program Files product folder."),
             true);
        return exitFailure;
    }
    const bool elevated = scope == InstallScope::User || isElevatedAdministrator();
    if (!elevated && !options.elevatedCopy) return relaunchElevated(options);
    if (!elevated) {
        tell(options,
             std::wstring(product::wideName) +
                 L" was not removed: the uninstaller needs administrator rights. Start it from Installed apps and "
                 L"allow it to make changes.",
             true);
        return exitFailure;
    }
    const InstallLocations locations = resolveInstallLocations(scope);
    // Asked before anything is taken or changed: a No leaves everything as it was.
    if (!options.silent && !confirmed(locations)) {
        event_log::write("cancelled by the user");
        return exitCancelled;
    }
    std::optional<InstallLock> onlyInstallation;
    try {
        onlyInstallation.emplace(scope);
    } catch (const InstallLockHeld& held) {
        tell(options, utf8ToWide(held.what()), true);
        return exitAnotherInstall;
    }

    removeEndedUninstallCopies();
    // What interrupted installations left goes first, as Setup does it; then the survey.
    try {
        recoverInterruptedRuns(builtInPackage(), locations, realFileOperations(), "the uninstaller");
    } catch (const std::exception& failure) {
        tell(options, utf8ToWide(failure.what()), true);
        return exitFailure;
    }
    std::vector<std::wstring> usersWorkingFolders;
    for (const InterruptedRunFolder& left : interruptedRunFolders(builtInPackage(), locations)) {
        if (!left.holdsOurs) {
            usersWorkingFolders.push_back(left.path); // only the user's items stay there: kept, and named
            continue;
        }
        tell(options,
             L"Nothing was removed: " + left.path +
                 L" was left by an interrupted installation and could not be cleared. Close any program or window "
                 L"that uses it, then run the uninstaller again.",
             true);
        return exitFailure;
    }
    const std::wstring self = executablePath();
    const UninstallPlan plan = planUninstall(self, scope, locations, builtInPackage());
    if (plan.refusal) {
        tell(options, *plan.refusal, true);
        return exitFailure;
    }
    UninstallReport report;
    if (plan.nothingToRemove()) {
        report.selfRemovalNeeded = plan.runsInstalledCopy;
        report.productFolderKept = !plan.product.userFiles.empty();
        report.keptFiles = plan.bundle.userFiles;
        report.keptFiles.insert(report.keptFiles.end(), plan.product.userFiles.begin(), plan.product.userFiles.end());
    } else {
        report = carryOutUninstall(plan);
    }

    report.keptFiles.insert(report.keptFiles.end(), usersWorkingFolders.begin(), usersWorkingFolders.end());
    // The copy that the entry named while an installation was interrupted is left to the
    // uninstaller's own copy, as the installed one is.
    if (isSwapUninstaller(locations.productFolder, self)) report.selfRemovalNeeded = true;

    // The copy is made and created now, so that the message can say whether it
    // could be; it runs only after the last message box has been closed.
    SelfRemoval selfRemoval(scope);
    bool scheduledAtRestart = false;
    bool leftInPlace = false;
    if (report.selfRemovalNeeded && !selfRemoval.prepare()) {
        scheduledAtRestart = deleteAtRestartUnderItsOwnName(self);
        leftInPlace = !scheduledAtRestart;
    }
    const bool failed = report.outcome == UninstallOutcome::Incomplete;
    // The work is done: while the last message is open, Setup may already run, and the copy needs the lock.
    onlyInstallation.reset();
    tell(options, resultText(report, scheduledAtRestart, leftInPlace, locations, itemsShown), failed,
         resultText(report, scheduledAtRestart, leftInPlace, locations, everyItem));
    if (report.selfRemovalNeeded) selfRemoval.start();
    event_log::write("exit code " + std::to_string(failed ? exitFailure : 0));
    return failed ? exitFailure : 0;
}

constexpr SwitchHelp uninstallerSwitches[] = {
    {L"(none)", L"asks, then removes the plug-in, its documents and this uninstaller; files that you added are kept"},
    {L"/S, --quiet, /quiet", L"removes without any window; the result on standard output, the exit code for tools"},
    {L"--scope machine|user", L"the installation that this uninstaller belongs to; the other one is refused"},
    {L"--log FILE", L"appends a log of the run to FILE"},
    {L"--lang TAG, /LANG=TAG", languageMeaning},
    {L"--version", L"prints the version"},
    {L"--help, /?", L"shows this help"},
};

// "--lang" wins, then the language that the installation recorded, then the user's
// preferred UI languages, then English.
const Language& uninstallerLanguage(const std::optional<LanguageRequest>& request)
{
    if (request) return *languageForTag(request->tag);
    std::optional<std::wstring> installedTag;
    try {
        if (const auto lcid = installedLanguage(ownInstallScope())) installedTag = localeOfLcid(*lcid);
    } catch (...) {
        // No scope of its own can be told: the user's preferences decide.
    }
    return chooseLanguage(nullptr, installedTag, preferredUiLanguages());
}

int run()
{
    const std::vector<std::wstring> arguments = commandLineArguments();
    // The language is read first; the other switches are read without it.
    const auto languageRequest = requestedLanguage(arguments);
    const std::vector<std::wstring> words = withoutLanguageSwitches(arguments);
    const SwitchReading reading = readSwitches(words, SwitchProgram::Uninstaller);
    // The copy that removes the uninstaller after it ended has no one to tell.
    if (reading.has(SwitchMeaning::FinishRemoval)) {
        try {
            const auto firstProcess = reading.value(SwitchMeaning::FinishRemoval);
            return arguments.size() == 2 && firstProcess ? finishSelfRemoval(*firstProcess) : exitFailure;
        } catch (...) {
            return exitFailure;
        }
    }
    const Options options = readOptions(reading);
    if (languageRequest && !languageRequest->known) {
        const std::string refusal = unknownLanguageText(languageRequest->tag);
        if (options.silent)
            writeStandardError(refusal + "\n");
        else
            MessageBoxW(nullptr, utf8ToWide(refusal).c_str(), title.c_str(), MB_OK | MB_ICONWARNING);
        return invalidCommandLineExitCode;
    }
    setDisplayLanguage(uninstallerLanguage(languageRequest));
    if (asksForVersion(words)) {
        writeStandardOutput(std::string(product::name) + " " + std::string(product::version) + "\n");
        return 0;
    }
    if (asksForHelp(words)) return showSwitchHelp(L"Uninstall.exe", uninstallerSwitches, shownByUninstaller, title);
    try {
        return uninstall(options);
    } catch (const std::exception& failure) {
        event_log::writeFailure("uninstall failed", failure);
        std::wstring text = std::wstring(product::wideName) + L" could not be removed: ";
        try {
            text += utf8ToWide(failure.what());
        } catch (...) {
        }
        tell(options, text, true);
        return exitFailure;
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Uninstallers run elevated from a folder that users can reach: never load a DLL from it.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return run();
}
