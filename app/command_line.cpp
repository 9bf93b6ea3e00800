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
    return RunMode::Windowed;
}

bool hasPerformSwitch(const std::vector<std::wstring>& arguments) { return contains(arguments, L"--perform"); }

} // namespace elvara
