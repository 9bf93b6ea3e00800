#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace elvara {

// Lower-case hexadecimal digits, two per byte, no separators.
std::string toLowerHex(const std::vector<std::uint8_t>& bytes);

// Strict conversion: invalid input throws "Invalid UTF-8", nothing is replaced.
std::wstring utf8ToWide(std::string_view utf8);

// For texts that must reach a byte stream whatever they hold: never fails, and an
// unpaired surrogate becomes U+FFFD.
std::string wideToUtf8(std::wstring_view wide);

} // namespace elvara
