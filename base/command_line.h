#pragma once
#include <string>
#include <vector>

namespace elvara {

// The words of the process command line after the program's own name; empty when
// the line cannot be split.
std::vector<std::wstring> commandLineArguments();

} // namespace elvara
