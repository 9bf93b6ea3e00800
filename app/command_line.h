#pragma once
#include <string>
#include <vector>

namespace elvara {

enum class RunMode { Verification, Preview, Windowed };

// The words of the process command line after the program's own name.
std::vector<std::wstring> commandLineArguments();

// Switches match only as whole, case-sensitive arguments.
RunMode selectRunMode(const std::vector<std::wstring>& arguments);
bool hasPerformSwitch(const std::vector<std::wstring>& arguments);

} // namespace elvara
