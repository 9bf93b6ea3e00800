#include "ui/setup_texts.h"

#include "language/display_language.h"

#include <iterator>

namespace elvara {

#include "setup_catalogue.inc"

const Catalogue setupCatalogue{catalogueTexts, std::size(catalogueTexts), catalogueLanguages,
                               std::size(catalogueLanguages)};

std::wstring shown(std::wstring_view english) { return localize(setupCatalogue, displayLanguage(), english); }

} // namespace elvara
