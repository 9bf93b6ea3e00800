#pragma once
// The language that this process shows its texts in, chosen once at start-up.
#include "language/languages.h"

namespace elvara {

void setDisplayLanguage(const Language& language) noexcept;
const Language& displayLanguage() noexcept;

} // namespace elvara
