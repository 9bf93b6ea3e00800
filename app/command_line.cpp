#include "app/command_line.h"

#include "app/exit_codes.h"
#include "base/switch_words.h"

#include <algorithm>
#include <iterator>

namespace elvara {

namespace {

bool contains(const std::vector<std::wstring>& arguments, const wchar_t* word)
{
    return std::any_of(arguments.begin(), arguments.end(), [word](const std::wstring& argument) { return switchIs(argument, word); });
}

const wchar_t* const switches[] = {L"--quiet", L"/quiet", L"/S", L"--log", L"--scope", L"--perform",
                                   L"--verify-only", L"--render-preview", elevatedCopySwitch, reportPipeWord};

// The word after "--log", "--scope" or "--report-pipe".
std::optional<std::wstring> valueOf(const std::vector<std::wstring>& arguments, const wchar_t* word)
{
    const auto found = std::find_if(arguments.begin(), arguments.end(),
                                    [word](const std::wstring& argument) { return switchIs(argument, word); });
    if (found == arguments.end()) return std::nullopt;
    if (found + 1 == arguments.end()) return std::wstring();
    return *(found + 1);
}

bool isSwitch(const std::wstring& word)
{
    return std::find_if(std::begin(switches), std::end(switches),
                        [&word](const wchar_t* known) { return switchIs(word, known); }) != std::end(switches);
}

std::string narrow(const std::wstring& word)
{
    // Only for the refusal's text: characters beyond ASCII are shown as '?'.
    std::string text;
    for (const wchar_t c : word) text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    return text;
}

} // namespace

RunMode selectRunMode(const std::vector<std::wstring>& arguments)
{
    if (contains(arguments, L"--verify-only")) return RunMode::Verification;
    if (arguments.size() == 2 && switchIs(arguments[0], L"--render-preview")) return RunMode::Preview;
    if (contains(arguments, L"--quiet") || contains(arguments, L"/quiet") || contains(arguments, L"/S")) return RunMode::Quiet;
    return RunMode::Windowed;
}

bool hasPerformSwitch(const std::vector<std::wstring>& arguments) { return contains(arguments, L"--perform"); }

bool hasElevatedCopySwitch(const std::vector<std::wstring>& arguments)
{
    return contains(arguments, elevatedCopySwitch);
}

std::optional<std::wstring> logFileArgument(const std::vector<std::wstring>& arguments)
{
    return valueOf(arguments, L"--log");
}

std::optional<InstallScope> requestedScope(const std::vector<std::wstring>& arguments)
{
    const auto word = valueOf(arguments, L"--scope");
    return word ? scopeFromWord(*word) : std::nullopt;
}

InstallScope wizardScope(const std::vector<std::wstring>& arguments, bool mayElevateThemselves)
{
    return requestedScope(arguments).value_or(mayElevateThemselves ? InstallScope::Machine : InstallScope::User);
}

std::optional<std::wstring> reportPipeArgument(const std::vector<std::wstring>& arguments)
{
    if (!hasElevatedCopySwitch(arguments)) return std::nullopt;
    return valueOf(arguments, reportPipeWord);
}

std::optional<CommandLineError> commandLineError(const std::vector<std::wstring>& arguments, RunMode mode)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (switchIs(arguments[i], L"--log")) {
            if (i + 1 == arguments.size() || arguments[i + 1].empty() || isSwitch(arguments[i + 1]))
                return CommandLineError{logNeedsFileNameText, exit_codes::failure};
            ++i;
        } else if (switchIs(arguments[i], L"--scope")) {
            if (i + 1 == arguments.size() || !scopeFromWord(arguments[i + 1]))
                return CommandLineError{"Unknown scope: " + (i + 1 == arguments.size() ? std::string() : narrow(arguments[i + 1])) +
                                            ". Use --scope machine or --scope user.",
                                        exit_codes::failure};
            ++i;
        } else if (switchIs(arguments[i], reportPipeWord) && i + 1 < arguments.size()) {
            ++i;
        } else if (mode == RunMode::Quiet && !isSwitch(arguments[i])) {
            return CommandLineError{"Unknown option: " + narrow(arguments[i]), exit_codes::invalidCommandLine};
        }
    }
    return std::nullopt;
}

} // namespace elvara
