#pragma once
// What Windows says about languages: the user's preferred UI languages and the
// numbers (LCIDs) by which the uninstall entry records one.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace elvara {

// GetUserPreferredUILanguages, in the user's order; empty when Windows cannot tell.
std::vector<std::wstring> preferredUiLanguages();

// The uninstall entry's "Language" value, as Windows' list of apps reads it.
std::uint32_t lcidOfLocale(std::wstring_view localeName) noexcept;
std::optional<std::wstring> localeOfLcid(std::uint32_t lcid);

} // namespace elvara
