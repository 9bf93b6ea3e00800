#pragma once
#include "install/elevated_relaunch.h"

#include <functional>
#include <string>

namespace elvara {

using ElevatedStarter = std::function<ElevatedRun(const std::wstring& parameters)>;

// A quiet installation without administrator rights: starts the elevated copy through
// `start` and returns the exit code for the caller, the copy's own or, when it could
// not be started, 1602 for a declined prompt and 1 otherwise (with the reason on
// standard error and in the log).
int relaunchElevatedAndWait(const ElevatedStarter& start = runElevatedCopy);

} // namespace elvara
