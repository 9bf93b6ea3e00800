#include "uninstaller_texts.h"

#include "language/display_language.h"

#include <iterator>

namespace elvara {

#include "uninstaller_catalogue.inc"

const Catalogue uninstallerCatalogue{catalogueTexts, std::size(catalogueTexts), catalogueLanguages,
                                     std::size(catalogueLanguages)};

std::wstring shownByUninstaller(std::wstring_view english)
{
    return localize(uninstallerCatalogue, displayLanguage(), english);
}

} // namespace elvara
