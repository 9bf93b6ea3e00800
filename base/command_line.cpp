#include "base/command_line.h"

#include "base/unique_handle.h"

#include <windows.h>
#include <shellapi.h>

namespace elvara {

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

} // namespace elvara
