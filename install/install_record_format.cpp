#include "install/install_record_format.h"

#include "package/package_format.h"

#include <algorithm>
#include <set>

namespace elvara {

namespace {

constexpr std::string_view headerLine = "ElvaraSound installation record 1";
constexpr char hexDigits[] = "0123456789abcdef";

std::string hex(const std::array<std::uint8_t, 32>& bytes)
{
    std::string text;
    for (std::uint8_t byte : bytes) {
        text += hexDigits[byte >> 4];
        text += hexDigits[byte & 0x0F];
    }
    return text;
}

std::optional<std::uint64_t> decimal(std::string_view text)
{
    if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

} // namespace

std::optional<std::array<std::uint8_t, 32>> parseSha256Hex(std::string_view text)
{
    if (text.size() != 64) return std::nullopt;
    std::array<std::uint8_t, 32> bytes{};
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char* at = std::find(hexDigits, hexDigits + 16, text[i]);
        if (at == hexDigits + 16) return std::nullopt;
        bytes[i / 2] = static_cast<std::uint8_t>(bytes[i / 2] << 4 | (at - hexDigits));
    }
    return bytes;
}

namespace {

bool isVersionText(std::string_view text)
{
    return !text.empty() && text.size() <= 64 && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-' ||
               c == '+';
    });
}

// Splits off the text up to the next space; the rest follows the space.
std::string_view word(std::string_view& rest)
{
    const std::size_t space = rest.find(' ');
    const std::string_view first = rest.substr(0, space);
    rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
    return first;
}

} // namespace

std::string formatInstallRecord(const InstallRecord& record)
{
    std::string text = std::string(headerLine) + "\nversion " + record.version + "\n";
    for (const RecordedFile& file : record.files)
        text += "file " + std::to_string(file.size) + " " + hex(file.sha256) + " " + file.name + "\n";
    text += "end " + std::to_string(record.files.size()) + "\n";
    return text;
}

std::optional<InstallRecord> parseInstallRecord(std::string_view text)
{
    if (text.size() > maximumRecordSize || !text.ends_with('\n')) return std::nullopt;
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (lines.size() < 3 || lines.front() != headerLine || !lines[1].starts_with("version ")) return std::nullopt;
    InstallRecord record;
    record.version = std::string(lines[1].substr(8));
    if (!isVersionText(record.version)) return std::nullopt;
    std::set<std::string> seen;
    for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
        std::string_view rest = lines[i];
        if (word(rest) != "file") return std::nullopt;
        const auto size = decimal(word(rest));
        const auto sha256 = parseSha256Hex(word(rest));
        const std::string_view name = rest;
        if (!size || *size > package_format::maximumDataSize || !sha256 || name.empty() ||
            name.size() > package_format::maximumNameBytes || !package_format::isAcceptableEntryName(name) ||
            !seen.insert(package_format::uniquenessKey(name)).second)
            return std::nullopt;
        record.files.push_back({std::string(name), *size, *sha256});
    }
    std::string_view last = lines.back();
    if (word(last) != "end" || decimal(last) != record.files.size()) return std::nullopt;
    return record;
}

} // namespace elvara
