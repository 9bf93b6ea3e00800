#pragma once
// Which installation an uninstaller belongs to, told by where its own file stands
// (never by its command line): the user's product folder means the user's own
// installation; anywhere else, the machine's, as it always was.
#include "install/install_scope.h"

namespace elvara {

InstallScope ownInstallScope();

} // namespace elvara
