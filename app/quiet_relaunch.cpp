#include "app/quiet_relaunch.h"

#include "app/command_line.h"
#include "app/exit_codes.h"
#include "base/com_apartment.h"
#include "base/event_log.h"
#include "base/std_streams.h"
#include "language/display_language.h"
#include "language/language_switch.h"
#include "package/text.h"

namespace elvara {

int relaunchElevatedAndWait(const ElevatedStarter& start)
{
    // No "--log": the copy reports its lines back and this process writes them.
    // The copy records the language of this run in the uninstall entry.
    const std::wstring parameters = std::wstring(L"--quiet ") + elevatedCopySwitch + L" " + languageSwitch + L" " +
                                    std::wstring(displayLanguage().tag);
    event_log::write("Not elevated: starting the elevated copy with \"" + wideToUtf8(parameters) + "\"");
    const ComApartment shellApartment; // the shell may hand "runas" to its extensions
    const ElevatedRun run = start(parameters);
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

} // namespace elvara
