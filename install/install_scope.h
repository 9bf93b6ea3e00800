#pragma once
// Whom an installation is for: everyone on the machine (the default, with administrator
// rights) or only the user who runs it (no elevation). The two install folders, the
// uninstall entry's registry root and the install lock all follow from this one value.
// Free of platform headers.
#include <optional>
#include <string_view>

namespace elvara {

enum class InstallScope { Machine, User };

// The words of "--scope": exactly "machine" or "user"; anything else is no scope.
inline std::optional<InstallScope> scopeFromWord(std::wstring_view word) noexcept
{
    if (word == L"machine") return InstallScope::Machine;
    if (word == L"user") return InstallScope::User;
    return std::nullopt;
}

} // namespace elvara
