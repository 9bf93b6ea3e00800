#pragma once
#include <string>

namespace elvara {

// Full path of the running executable. Throws "Executable path unavailable".
std::wstring executablePath();

} // namespace elvara
