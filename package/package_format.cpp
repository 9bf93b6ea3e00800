#include "package/package_format.h"

#include <algorithm>

namespace elvara::package_format {

namespace {

char lowerAscii(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

// The code point that starts at `at` in text already known to be valid UTF-8 (an
// invalid byte stands for itself); moves `at` past it.
char32_t nextCodePoint(std::string_view text, std::size_t& at) noexcept
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const std::size_t length = lead < 0xC2 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 1;
    if (length == 1 || at + length > text.size()) return byte(at++);
    char32_t codePoint = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) codePoint = (codePoint << 6) | (byte(at + k) & 0x3F);
    at += length;
    return codePoint;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Lower case for the scripts whose case Windows folds in file names and that release
// names are written in; everything else stays as it is.
char32_t foldCase(char32_t c) noexcept
{
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    if (c == 0x178) return 0xFF;
    if ((c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F)) return c + 0x20;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 0x3F;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF)) return c | 1;
    if (c >= 0x531 && c <= 0x556) return c + 0x30;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;
    return c;
}

bool isControl(char32_t c) noexcept { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool isForbiddenInNames(char32_t c) noexcept
{
    return c == '<' || c == '>' || c == ':' || c == '"' || c == '\\' || c == '|' || c == '?' || c == '*';
}

// Windows opens a device for these stems, with any extension and with spaces before it.
bool isReservedDeviceName(std::string_view segment) noexcept
{
    std::string_view stem = segment.substr(0, segment.find('.'));
    while (stem.ends_with(' ')) stem.remove_suffix(1);
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (equalsIgnoringCase(stem, device)) return true;
    if (stem.size() < 4 || !(equalsIgnoringCase(stem.substr(0, 3), "COM") || equalsIgnoringCase(stem.substr(0, 3), "LPT")))
        return false;
    const std::string_view number = stem.substr(3);
    return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3"; // superscript one, two, three
}

std::string_view brokenSegmentRule(std::string_view segment) noexcept
{
    if (segment.empty()) return "no empty folder names (\"//\" or a trailing \"/\")";
    if (segment == "." || segment == "..") return "no \".\" or \"..\" segments";
    if (segment.ends_with('.') || segment.ends_with(' '))
        return "no file or folder name may end in a full stop or a space (Windows drops them)";
    if (isReservedDeviceName(segment))
        return "no device names (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9, LPT1-9), with or without an extension";
    return {};
}

} // namespace

bool isReservedName(std::string_view name) noexcept
{
    return equalsIgnoringCase(name, bundleRecordName) || equalsIgnoringCase(name, productRecordName) ||
           equalsIgnoringCase(name, bundleRunNoteName) || equalsIgnoringCase(name, productRunNoteName);
}

std::string_view brokenNameRule(std::string_view name) noexcept
{
    if (name.empty() || name.size() > maximumNameBytes) return "a name must be 1 to 239 UTF-16 units long";
    if (firstInvalidUtf8Offset(name) != std::string_view::npos) return "names must be UTF-8";
    if (!name.starts_with(bundlePrefix) && !name.starts_with(productPrefix))
        return "names must begin with \"VST3/ElvaraSound.vst3/Contents/\" or \"Product/\"";
    for (std::size_t at = 0; at < name.size();) {
        const char32_t c = nextCodePoint(name, at);
        if (isControl(c)) return "no control characters";
        if (isForbiddenInNames(c)) return "none of < > : \" \\ | ? * (Windows cannot hold them)";
    }
    if (utf16Length(name) > maximumNameLength) return "a name must be 1 to 239 UTF-16 units long";
    for (std::size_t start = 0; start <= name.size();) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        const std::string_view rule = brokenSegmentRule(name.substr(start, end - start));
        if (!rule.empty()) return rule;
        start = end + 1;
    }
    if (isReservedName(name)) return "the name is reserved for the installer's own records";
    return {};
}

bool isAcceptableEntryName(std::string_view name) noexcept { return brokenNameRule(name).empty(); }

std::size_t utf16Length(std::string_view name) noexcept
{
    std::size_t units = 0;
    for (std::size_t at = 0; at < name.size();) units += nextCodePoint(name, at) >= 0x10000 ? 2 : 1;
    return units;
}

std::string uniquenessKey(std::string_view name)
{
    std::string key;
    key.reserve(name.size());
    for (std::size_t at = 0; at < name.size();) appendUtf8(key, foldCase(nextCodePoint(name, at)));
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
