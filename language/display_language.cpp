#include "language/display_language.h"

#include <atomic>

namespace elvara {

namespace {

std::atomic<const Language*> chosen{nullptr};

} // namespace

void setDisplayLanguage(const Language& language) noexcept { chosen.store(&language); }

const Language& displayLanguage() noexcept
{
    const Language* language = chosen.load();
    return language != nullptr ? *language : englishLanguage();
}

} // namespace elvara
