#pragma once
// Setup's texts on their way to the screen: built in English, shown in the display
// language through Setup's catalogue (po/*.po). Platform-free.
#include "language/catalogue.h"

#include <string>
#include <string_view>

namespace elvara {

extern const Catalogue setupCatalogue;

// The text in the display language (language/display_language.h).
std::wstring shown(std::wstring_view english);

} // namespace elvara
