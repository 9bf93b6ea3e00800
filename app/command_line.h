#pragma once
// The choice of run mode from the argument list: plain logic, free of any platform call.
#include <string>
#include <vector>

namespace elvara {

enum class RunMode { Verification, Preview, Windowed };

// Switches match only as whole, case-sensitive arguments.
RunMode selectRunMode(const std::vector<std::wstring>& arguments);
bool hasPerformSwitch(const std::vector<std::wstring>& arguments);

} // namespace elvara
