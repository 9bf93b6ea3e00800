#include "base/com_apartment.h"
#include "app/command_line.h"
#include "base/command_line.h"
#include "app/exit_codes.h"
#include "app/help_mode.h"
#include "app/run_modes.h"
#include "app/setup_language.h"
#include "base/std_streams.h"
#include "install/uninstall_registration.h"
#include "language/display_language.h"
#include "language/language_switch.h"
#include "language/preferred_languages.h"

#include <windows.h>

#include <exception>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Before anything else: the program is started from Downloads folders and
    // relaunched elevated, so no DLL may ever come from its own folder.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    const auto everyWord = elvara::commandLineArguments();
    // The language is settled first, in every mode; the rest reads the words without it.
    const auto languageRequest = elvara::requestedLanguage(everyWord);
    if (languageRequest && !languageRequest->known) {
        elvara::writeStandardError(elvara::unknownLanguageText(languageRequest->tag) + "\n");
        return elvara::exit_codes::invalidCommandLine;
    }
    const auto arguments = elvara::withoutLanguageSwitches(everyWord);
    const elvara::Language& language = elvara::chooseSetupLanguage(
        languageRequest ? elvara::languageForTag(languageRequest->tag) : nullptr, elvara::requestedScope(arguments));
    elvara::setDisplayLanguage(language);
    elvara::recordInstallationLanguage(elvara::lcidOfLocale(language.localeName));
    if (elvara::asksForVersion(arguments)) return elvara::runVersionMode();
    if (elvara::asksForHelp(arguments)) return elvara::runHelpMode();
    // Refused before any mode starts: nothing is verified, drawn or installed for a
    // command line that does not say what it means.
    if (const auto error = elvara::commandLineError(arguments)) {
        elvara::writeStandardError(error->text + "\n");
        return error->exitCode;
    }
    const elvara::RunMode mode = elvara::selectRunMode(arguments);
    // A quiet installation uses no COM (its relaunch enters an apartment of its own),
    // and deployment tools start it on every machine: it skips the apartment's cost.
    elvara::ComApartment apartment(mode != elvara::RunMode::Quiet);
    try {
        switch (mode) {
        case elvara::RunMode::Verification:
            return elvara::runVerificationMode(apartment);
        case elvara::RunMode::Preview:
            return elvara::runPreviewMode(apartment, elvara::previewFileArgument(arguments).value_or(L""));
        case elvara::RunMode::Quiet:
            return elvara::runQuietMode(arguments);
        case elvara::RunMode::Windowed:
            return elvara::runWindowedMode(apartment, arguments);
        }
    } catch (const std::exception& failure) {
        elvara::writeStandardError(failure.what());
        elvara::writeStandardError("\n");
    } catch (...) {
        elvara::writeStandardError("Unexpected failure\n");
    }
    apartment.leave();
    return 1;
}
