#include "package/package_format.h"

#include <algorithm>

namespace elvara::package_format {

namespace {

bool isNameByte(char c) noexcept
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '/' || c == '_';
}

char lowerAscii(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

bool isReservedDeviceName(std::string_view segment) noexcept
{
    const std::string_view stem = segment.substr(0, segment.find('.'));
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL"})
        if (equalsIgnoringCase(stem, device)) return true;
    if (stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9')
        return equalsIgnoringCase(stem.substr(0, 3), "COM") || equalsIgnoringCase(stem.substr(0, 3), "LPT");
    return false;
}

bool isSegmentNtfsCanHold(std::string_view segment) noexcept
{
    return !segment.empty() && !segment.ends_with('.') && !isReservedDeviceName(segment);
}

} // namespace

bool isReservedName(std::string_view name) noexcept
{
    return equalsIgnoringCase(name, bundleRecordName) || equalsIgnoringCase(name, productRecordName) ||
           equalsIgnoringCase(name, bundleRunNoteName) || equalsIgnoringCase(name, productRunNoteName);
}

bool isAcceptableEntryName(std::string_view name) noexcept
{
    if (isReservedName(name)) return false;
    if (!name.starts_with(bundlePrefix) && !name.starts_with(productPrefix)) return false;
    if (name.find("..") != std::string_view::npos) return false;
    if (name.find("//") != std::string_view::npos) return false;
    if (name.ends_with('/')) return false;
    for (char c : name) {
        if (!isNameByte(c)) return false;
    }
    for (std::size_t start = 0; start <= name.size();) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        if (!isSegmentNtfsCanHold(name.substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

std::string uniquenessKey(std::string_view name)
{
    std::string key(name);
    for (char& c : key) c = lowerAscii(c);
    return key;
}

std::size_t firstInvalidUtf8Offset(std::string_view text) noexcept
{
    const auto byteAt = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = byteAt(i);
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            codePoint = lead & 0x07;
        } else {
            return i;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if (i + k >= text.size() || (byteAt(i + k) & 0xC0) != 0x80) return i;
            codePoint = (codePoint << 6) | (byteAt(i + k) & 0x3F);
        }
        const bool overlong = (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
        const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
        if (overlong || surrogate || codePoint > 0x10FFFF) return i;
        i += length;
    }
    return std::string_view::npos;
}

} // namespace elvara::package_format
