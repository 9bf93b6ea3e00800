#pragma once
// The language that Setup speaks in this run, chosen once at start-up.
#include "install/install_scope.h"
#include "language/languages.h"

#include <optional>

namespace elvara {

// "--lang" or "/LANG=" wins; then the language of the installation being updated (the
// scope asked for, else the machine's entry, then the user's); then the user's preferred
// UI languages; then English. The caller has refused an unknown tag already.
const Language& chooseSetupLanguage(const Language* requested, std::optional<InstallScope> scope);

} // namespace elvara
