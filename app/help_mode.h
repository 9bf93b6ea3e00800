#pragma once
// "/?", "--help" and "--version": what the program is and what its switches do,
// without a wizard and without changing anything.
#include "language/switch_help.h"

namespace elvara {

// The help: on standard output in English where that is redirected (a script), else in a
// window in the display language. Exit code 0.
int runHelpMode();
// "ElvaraSound Livewire Edition 1.3.3" on standard output; exit code 0.
int runVersionMode();

} // namespace elvara
