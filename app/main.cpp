#include "base/com_apartment.h"
#include "app/command_line.h"
#include "base/command_line.h"
#include "app/run_modes.h"
#include "base/std_streams.h"

#include <windows.h>

#include <exception>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Before anything else: the program is started from Downloads folders and
    // relaunched elevated, so no DLL may ever come from its own folder.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    const auto arguments = elvara::commandLineArguments();
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
