#pragma once
// Builds setup packages byte by byte for tests, with every field open to tampering.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace elvara::test {

struct BuiltEntry {
    std::string name;
    std::string data;
    std::optional<std::uint32_t> nameLength; // a false length field
    std::optional<std::uint64_t> dataSize;   // a false size field
    bool corruptDigest = false;
};

// The four required entries with small contents, in byte order of name.
std::vector<BuiltEntry> minimalEntries();
// A package of the entries; countField overrides the entry count.
std::vector<std::uint8_t> buildPackage(const std::vector<BuiltEntry>& entries,
                                       std::optional<std::uint32_t> countField = std::nullopt);

// The minimal entries and these.
std::vector<BuiltEntry> minimalEntriesWith(std::vector<BuiltEntry> more);

} // namespace elvara::test
