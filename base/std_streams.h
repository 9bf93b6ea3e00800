#pragma once
#include <string_view>

namespace elvara {

// Writes the bytes unchanged (a line ends in LF alone) to the inherited standard
// output or error handle; a GUI-subsystem process has them only when redirected.
void writeStandardOutput(std::string_view text) noexcept;
void writeStandardError(std::string_view text) noexcept;

} // namespace elvara
