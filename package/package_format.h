#pragma once
// The rules of the setup package format that need no platform: shared by the
// reader in the setup program and the package writer of the build.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace elvara::package_format {

// The format's version is its magic. A package of the first format (raw entries, ASCII
// names) is told apart so that it is refused with its own text.
inline constexpr std::string_view magic = "ElvPkg02";
inline constexpr std::string_view firstFormatMagic = "ElvPkg01";
inline constexpr std::uint32_t minimumEntryCount = 4;
inline constexpr std::uint32_t maximumEntryCount = 65535;
// A name's length in UTF-16 units, as Windows counts it, below its tree's folder; its
// UTF-8 bytes are at most three per unit.
inline constexpr std::uint32_t maximumNameLength = 239;
inline constexpr std::uint32_t maximumNameBytes = 3 * maximumNameLength;
// Decoded bytes, per entry and in total.
inline constexpr std::uint64_t maximumDataSize = 4294967296;
// Each entry is stored as independent frames of this many decoded bytes, the last one
// holding the rest: memory stays bounded whatever the size of a file.
inline constexpr std::uint32_t frameSize = 4194304;
// The stored package: the Windows loader maps no executable of 2 GiB or more, and the
// program itself needs room beside its package.
inline constexpr std::uint64_t maximumPackageSize = 2147483648 - 33554432;
inline constexpr std::size_t digestSize = 32;

// Per entry: the name length (2 bytes), the name, the decoded size (8), the SHA-256 of
// the stored bytes and of the decoded bytes (32 each), the frame table (8 per frame:
// stored size, decoded size; 4 bytes each), then the stored frames back to back. A frame
// whose stored size equals its decoded size is stored as it is; a smaller one is a zstd
// frame; a larger one is refused.
inline constexpr std::size_t frameTableRowSize = 8;
inline constexpr std::uint64_t frameCountFor(std::uint64_t decodedSize) noexcept
{
    return (decodedSize + frameSize - 1) / frameSize;
}
inline constexpr std::uint32_t frameDecodedSize(std::uint64_t decodedSize, std::uint64_t frameIndex) noexcept
{
    const std::uint64_t rest = decodedSize - frameIndex * frameSize;
    return static_cast<std::uint32_t>(rest < frameSize ? rest : frameSize);
}

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

// The name rules, each with the text that the package writer shows when a name breaks
// it: a name lies inside the bundle's Contents folder or the product tree, is strict
// UTF-8 of at most maximumNameLength UTF-16 units, has no empty, "." or ".." segment,
// no control character and none of < > : " \ | ? *, no segment that ends in a full stop
// or a space (Windows would drop them), no segment that is a device name (CON, PRN, AUX,
// NUL, CONIN$, CONOUT$, COM and LPT with a digit 1 to 9 or a superscript one, in any
// case, with or without an extension), and is not a reserved name.
// Uniqueness depends on the names seen before and is the caller's.
// Returns the rule that the name breaks, or an empty view when it keeps them all.
std::string_view brokenNameRule(std::string_view name) noexcept;
bool isAcceptableEntryName(std::string_view name) noexcept;
// The number of UTF-16 units that Windows makes of the name (an invalid byte counts one).
std::size_t utf16Length(std::string_view name) noexcept;

// Uniqueness compares names by this key: Windows folds letter case, so two names that
// differ only in case are the same file (ASCII, Latin-1, Latin Extended-A, Greek,
// Cyrillic, Armenian and full-width Latin letters are folded here). Valid UTF-8 only.
std::string uniquenessKey(std::string_view name);

// The offset of the first byte that breaks strict UTF-8 (overlong forms, surrogates
// and code points above U+10FFFF included), or npos when the text is valid.
std::size_t firstInvalidUtf8Offset(std::string_view text) noexcept;

// The licence, which the wizard shows and therefore must be UTF-8.
inline constexpr std::string_view licenceName = "Product/EULA.txt";

} // namespace elvara::package_format
