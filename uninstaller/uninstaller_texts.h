#pragma once
// The uninstaller's texts on their way to the screen: built in English (its log and
// quiet output keep them so), shown in the display language through its own catalogue,
// which holds none of Setup's own texts.
#include "language/catalogue.h"

#include <string>
#include <string_view>

namespace elvara {

extern const Catalogue uninstallerCatalogue;

std::wstring shownByUninstaller(std::wstring_view english);

} // namespace elvara
