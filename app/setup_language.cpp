#include "app/setup_language.h"

#include "install/uninstall_registration.h"
#include "language/preferred_languages.h"

namespace elvara {

const Language& chooseSetupLanguage(const Language* requested, std::optional<InstallScope> scope)
{
    if (requested != nullptr) return *requested;
    std::optional<std::wstring> installedTag;
    for (const InstallScope candidate : {InstallScope::Machine, InstallScope::User}) {
        if (installedTag || (scope && *scope != candidate)) continue;
        if (const auto lcid = installedLanguage(candidate)) installedTag = localeOfLcid(*lcid);
    }
    return chooseLanguage(nullptr, installedTag, preferredUiLanguages());
}

} // namespace elvara
