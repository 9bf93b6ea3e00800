#pragma once
// The rules of the setup package format that need no platform: shared by the
// reader in the setup program and the package writer of the build.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace elvara::package_format {

inline constexpr std::string_view magic = "ElvPkg01";
inline constexpr std::uint32_t minimumEntryCount = 4;
inline constexpr std::uint32_t maximumEntryCount = 32;
inline constexpr std::uint32_t maximumNameLength = 239;
inline constexpr std::uint64_t maximumDataSize = 67108864; // per entry and in total
inline constexpr std::size_t digestSize = 32;

// The two trees of the package. A name minus its tree's prefix is its path inside
// the tree's install folder (the bundle folder, or the product folder).
inline constexpr std::string_view bundleTreePrefix = "VST3/ElvaraSound.vst3/";
inline constexpr std::string_view productTreePrefix = "Product/";

// Name rule 1: every name lies inside the bundle's Contents folder or the product tree.
inline constexpr std::string_view bundlePrefix = "VST3/ElvaraSound.vst3/Contents/";
inline constexpr std::string_view productPrefix = productTreePrefix;
static_assert(bundlePrefix.starts_with(bundleTreePrefix));

inline constexpr std::string_view pluginModuleName = "VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3";
inline constexpr std::string_view bundleMarkerName = "VST3/ElvaraSound.vst3/Contents/Resources/elvara-product.txt";
inline constexpr std::string_view productMarkerName = "Product/install-marker.txt";
inline constexpr std::string_view uninstallerName = "Product/Uninstall.exe";

// Each install folder's record of the files installed there, beside its marker. The
// names are reserved: no package entry may take them.
inline constexpr std::string_view bundleRecordName = "VST3/ElvaraSound.vst3/Contents/Resources/elvara-installed-files.txt";
inline constexpr std::string_view productRecordName = "Product/elvara-installed-files.txt";
// Each staging folder's note of its run: the run's token and the user's items that the
// run carried into it. Reserved too.
inline constexpr std::string_view bundleRunNoteName = "VST3/ElvaraSound.vst3/Contents/Resources/elvara-run.txt";
inline constexpr std::string_view productRunNoteName = "Product/elvara-run.txt";
bool isReservedName(std::string_view name) noexcept;

// The fixed line of both ownership markers: ASCII, one line feed, 33 bytes.
inline constexpr std::string_view ownershipMarkerLine = "ElvaraSound-Livewire-CF9A52D3-v1\n";

inline constexpr bool isBundleName(std::string_view name) noexcept { return name.starts_with(bundleTreePrefix); }

// The name's path inside its tree ("/" separators stay).
inline constexpr std::string_view treeRelativeName(std::string_view name) noexcept
{
    const std::string_view prefix = isBundleName(name) ? bundleTreePrefix : productTreePrefix;
    return name.starts_with(prefix) ? name.substr(prefix.size()) : name;
}

// Checked in this order once every entry has been read.
inline constexpr std::array<std::string_view, 4> requiredNames = {
    pluginModuleName, bundleMarkerName, productMarkerName, uninstallerName};

// Name rules 1 to 5 (prefix, "..", "//", trailing "/", character set), no reserved name, and what NTFS
// can hold: no segment ends in a full stop, and no segment is a reserved device name
// (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, in any case, with or without an
// extension), which would reach a device instead of a file.
// Rule 6, uniqueness, depends on the names seen before and is the caller's.
bool isAcceptableEntryName(std::string_view name) noexcept;

// Rule 6 compares names by this key: Windows folds letter case, so two names that
// differ only in ASCII case are the same file.
std::string uniquenessKey(std::string_view name);

// The offset of the first byte that breaks strict UTF-8 (overlong forms, surrogates
// and code points above U+10FFFF included), or npos when the text is valid.
std::size_t firstInvalidUtf8Offset(std::string_view text) noexcept;

// The licence, which the wizard shows and therefore must be UTF-8.
inline constexpr std::string_view licenceName = "Product/EULA.txt";

} // namespace elvara::package_format
