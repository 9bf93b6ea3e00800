#pragma once
// Where the help goes: standard output in English when a script reads it (no window),
// otherwise a box in the display language.
#include "language/switch_help.h"

namespace elvara {

// Returns the exit code, 0.
int showSwitchHelp(std::wstring_view program, std::span<const SwitchHelp> switches, const Translate& translate,
                   std::wstring_view englishTitle);

} // namespace elvara
