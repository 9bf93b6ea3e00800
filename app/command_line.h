#pragma once
// The choice of run mode from the argument list: plain logic, free of any platform call.
#include "install/install_scope.h"

#include <optional>
#include <string>
#include <vector>

namespace elvara {

enum class RunMode { Verification, Preview, Quiet, Windowed };

// Switches match only as whole arguments, without regard to letter case (base/switch_words.h). "--verify-only" wins over
// everything, then the preview's exact two-argument form, then "--quiet", "/quiet" or "/S".
RunMode selectRunMode(const std::vector<std::wstring>& arguments);
bool hasPerformSwitch(const std::vector<std::wstring>& arguments);
// Set only in the copy that a quiet installation starts elevated: it never relaunches.
bool hasElevatedCopySwitch(const std::vector<std::wstring>& arguments);

// The word after the first "--log": present but empty when "--log" is the last word.
std::optional<std::wstring> logFileArgument(const std::vector<std::wstring>& arguments);

// The word after "--report-pipe", only in the elevated copy.
std::optional<std::wstring> reportPipeArgument(const std::vector<std::wstring>& arguments);

// The scope that "--scope machine" or "--scope user" asks for; none when absent or
// not one of the two words (commandLineError refuses that).
std::optional<InstallScope> requestedScope(const std::vector<std::wstring>& arguments);
// The wizard's first choice: the requested scope; without one, the machine, unless the
// user cannot elevate with their own consent (no Administrators membership at all).
InstallScope wizardScope(const std::vector<std::wstring>& arguments, bool mayElevateThemselves);

inline constexpr char logNeedsFileNameText[] = "--log needs a file name.";

struct CommandLineError {
    std::string text;
    int exitCode;
};

// What refuses the words before anything changes: a "--log" without a file name after
// it (a switch of the program is no file name) and a "--scope" without "machine" or
// "user" after it, in every mode; in quiet mode also any
// word the program does not know, since a deployment tool's typo must not install
// something else than it asked for. The windowed mode passes unknown words over.
std::optional<CommandLineError> commandLineError(const std::vector<std::wstring>& arguments, RunMode mode);

inline constexpr wchar_t elevatedCopySwitch[] = L"--elevated-copy";
// The pipe through which the elevated copy reports to its caller (the relaunch adds it).
inline constexpr wchar_t reportPipeWord[] = L"--report-pipe";

} // namespace elvara
