#include "app/command_line.h"

#include <algorithm>

namespace elvara {

namespace {

bool contains(const std::vector<std::wstring>& arguments, const wchar_t* word)
{
    return std::find(arguments.begin(), arguments.end(), word) != arguments.end();
}

} // namespace

RunMode selectRunMode(const std::vector<std::wstring>& arguments)
{
    if (contains(arguments, L"--verify-only")) return RunMode::Verification;
    if (arguments.size() == 2 && arguments[0] == L"--render-preview") return RunMode::Preview;
    if (contains(arguments, L"--quiet") || contains(arguments, L"/S")) return RunMode::Quiet;
    return RunMode::Windowed;
}

bool hasPerformSwitch(const std::vector<std::wstring>& arguments) { return contains(arguments, L"--perform"); }

bool hasElevatedCopySwitch(const std::vector<std::wstring>& arguments)
{
    return contains(arguments, elevatedCopySwitch);
}

std::optional<std::wstring> logFileArgument(const std::vector<std::wstring>& arguments)
{
    const auto found = std::find(arguments.begin(), arguments.end(), L"--log");
    if (found == arguments.end()) return std::nullopt;
    if (found + 1 == arguments.end()) return std::wstring();
    return *(found + 1);
}

} // namespace elvara
