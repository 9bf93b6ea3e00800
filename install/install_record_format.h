#pragma once
// The text of an installation record, free of any platform call: which package
// files one install folder received, with their sizes and SHA-256, and the version
// that put them there. One line each, "\n" only:
//   ElvaraSound installation record 1
//   version 1.3.3
//   file <size> <64 lower-case hex digits> <package entry name>
//   end <number of file lines>
// The last line proves that the record was written to its end.
#include "package/package_format.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace elvara {

struct RecordedFile {
    std::string name; // the package entry's name, tree prefix included
    std::uint64_t size = 0;
    std::array<std::uint8_t, 32> sha256{};
};

struct InstallRecord {
    std::string version;
    std::vector<RecordedFile> files;
};

// Room for a line per entry of the largest package: "file", a size, a digest, a name.
inline constexpr std::size_t maximumRecordSize =
    1024 + package_format::maximumEntryCount * (5 + 11 + 65 + package_format::maximumNameBytes + 1);

std::string formatInstallRecord(const InstallRecord& record);

// 64 lower-case hex digits as the 32 bytes they spell; nothing for anything else.
std::optional<std::array<std::uint8_t, 32>> parseSha256Hex(std::string_view text);

// Only a complete, well-formed record parses: any doubt (cut short, altered, a name
// that no package could hold, a repeated name) gives nothing, never a partial list.
std::optional<InstallRecord> parseInstallRecord(std::string_view text);

} // namespace elvara
