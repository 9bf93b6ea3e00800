#include "package/text.h"

#include "base/failure.h"

#include <windows.h>

namespace elvara {

std::string toLowerHex(const std::vector<std::uint8_t>& bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t byte : bytes) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0F]);
    }
    return text;
}

std::wstring utf8ToWide(std::string_view utf8)
{
    if (utf8.empty()) return {};
    failIf(utf8.size() > 0x7FFFFFFF, "Invalid UTF-8");
    const int inputLength = static_cast<int>(utf8.size());
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inputLength, nullptr, 0);
    failIf(units <= 0, "Invalid UTF-8");
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inputLength, wide.data(), units);
    return wide;
}

std::string wideToUtf8(std::wstring_view wide)
{
    if (wide.empty()) return {};
    const int length = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

} // namespace elvara
