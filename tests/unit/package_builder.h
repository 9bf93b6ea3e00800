#pragma once
// Builds setup packages byte by byte for tests, with every field open to tampering.
#include "package/setup_package.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace elvara::test {

// One frame as it goes into the package: its stored bytes and its two table fields.
struct BuiltFrame {
    std::string stored;
    std::uint32_t storedSizeField = 0;
    std::uint32_t decodedSizeField = 0;
};

struct BuiltEntry {
    std::string name;
    std::string data;
    std::optional<std::uint32_t> nameLength; // a false length field
    std::optional<std::uint64_t> dataSize;   // a false decoded size field
    bool corruptDigest = false;              // the digest of the stored bytes
    bool corruptDecodedDigest = false;
    // Changes the frames after they are made; the stored digest is then computed over
    // the changed bytes (a writer's fault) unless damageAfterDigest (damage in transit).
    std::function<void(std::vector<BuiltFrame>&)> changeFrames;
    bool damageAfterDigest = false;
};

// Compresses one frame's decoded bytes into one zstd frame; empty: the frame is stored.
using FrameCompressor = std::function<std::string(std::string_view decoded)>;

// The four required entries with small contents, in byte order of name.
std::vector<BuiltEntry> minimalEntries();
// A package of the entries; countField overrides the entry count. Without a compressor
// every frame is stored as it is.
std::vector<std::uint8_t> buildPackage(const std::vector<BuiltEntry>& entries,
                                       std::optional<std::uint32_t> countField = std::nullopt,
                                       const FrameCompressor& compress = {});

// An entry's decoded bytes, checked against its decoded digest (for tests that read
// what the installer would write).
std::string decodedEntry(const PackageEntry& entry);

// Every text with which reading a package may fail.
const std::set<std::string>& packageFailureTexts();

// The minimal entries and these.
std::vector<BuiltEntry> minimalEntriesWith(std::vector<BuiltEntry> more);

} // namespace elvara::test
