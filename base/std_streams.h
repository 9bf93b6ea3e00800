#pragma once
#include <string_view>

namespace elvara {

// Writes the bytes unchanged (a line ends in LF alone) to the inherited standard
// output or error handle; a GUI-subsystem process has them only when redirected.
void writeStandardOutput(std::string_view text) noexcept;
void writeStandardError(std::string_view text) noexcept;
// Whether standard output leads somewhere (a file, a pipe, a console): a script or a
// deployment tool reads it, rather than a person looking at a window.
bool standardOutputRedirected() noexcept;

} // namespace elvara
