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

} // namespace elvara
