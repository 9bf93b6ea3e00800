#pragma once
// Setup's reading of its argument list (base/command_line_switches.h, shared with the
// uninstaller): plain logic, free of any platform call.
#include "base/command_line_switches.h"
#include "install/install_scope.h"

#include <optional>
#include <string>
#include <vector>

namespace elvara {

enum class RunMode { Verification, Preview, Quiet, Windowed };

// "--verify-only" wins over everything, then "--render-preview FILE", then "--quiet",
// "/quiet" or "/S". Meant for a command line that commandLineError accepts.
RunMode selectRunMode(const std::vector<std::wstring>& arguments);
bool hasPerformSwitch(const std::vector<std::wstring>& arguments);
// Set only in the copy that a quiet installation starts elevated: it never relaunches.
bool hasElevatedCopySwitch(const std::vector<std::wstring>& arguments);

// The file after "--log", "--render-preview".
std::optional<std::wstring> logFileArgument(const std::vector<std::wstring>& arguments);
std::optional<std::wstring> previewFileArgument(const std::vector<std::wstring>& arguments);

// The word after "--report-pipe", only in the elevated copy.
std::optional<std::wstring> reportPipeArgument(const std::vector<std::wstring>& arguments);

// The scope that "--scope machine" or "--scope user" asks for; none when absent.
std::optional<InstallScope> requestedScope(const std::vector<std::wstring>& arguments);
// The wizard's first choice: the requested scope; without one, the machine, unless the
// user cannot elevate with their own consent (no Administrators membership at all).
InstallScope wizardScope(const std::vector<std::wstring>& arguments, bool mayElevateThemselves);

using CommandLineError = CommandLineRefusal;

// What refuses the words before anything changes, in every mode: a value that is missing,
// is another switch or is not one of its switch's words, a switch repeated with another
// value, and any word that Setup does not know, since a deployment tool's typo must not
// do something else than it asked for.
std::optional<CommandLineError> commandLineError(const std::vector<std::wstring>& arguments);

inline constexpr wchar_t elevatedCopySwitch[] = L"--elevated-copy";
// The pipe through which the elevated copy reports to its caller (the relaunch adds it).
inline constexpr wchar_t reportPipeWord[] = L"--report-pipe";

} // namespace elvara
