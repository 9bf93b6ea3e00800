#pragma once
#include "ui/wizard_state.h"

namespace elvara {

// The application record: one per process, created by the entry before a mode starts
// and destroyed when it ends, shared through a pointer by the window, the pages, the
// worker and the relaunch. The parts that lower layers use are its bases.
struct Installer final : WizardState {
};

} // namespace elvara
