#include "app/command_line.h"

#include "app/unique_handle.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>

namespace elvara {

namespace {

bool contains(const std::vector<std::wstring>& arguments, const wchar_t* word)
{
    return std::find(arguments.begin(), arguments.end(), word) != arguments.end();
}

} // namespace

std::vector<std::wstring> commandLineArguments()
{
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr) return {};
    UniqueLocalMemory block(words);
    std::vector<std::wstring> arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(words[i]);
    return arguments;
}

RunMode selectRunMode(const std::vector<std::wstring>& arguments)
{
    if (contains(arguments, L"--verify-only")) return RunMode::Verification;
    if (arguments.size() == 2 && arguments[0] == L"--render-preview") return RunMode::Preview;
    return RunMode::Windowed;
}

bool hasPerformSwitch(const std::vector<std::wstring>& arguments) { return contains(arguments, L"--perform"); }

} // namespace elvara
