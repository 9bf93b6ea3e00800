#pragma once
#include "package/byte_view.h"

#include <cstdint>
#include <string>
#include <vector>

namespace elvara {

// One frame of an entry as its table gives it.
struct PackageFrame {
    std::uint32_t storedSize = 0;
    std::uint32_t decodedSize = 0;
};

// One entry whose stored bytes are verified. `stored` points into the executable's
// resource and is never copied; the decoded bytes exist only frame by frame while an
// entry is decoded (decodePackageEntry), which checks them against `sha256`.
struct PackageEntry {
    std::string name;
    ByteView stored;
    std::vector<PackageFrame> frames;
    std::uint64_t size = 0;              // decoded
    std::vector<std::uint8_t> sha256;    // of the decoded bytes, as the package gives it
    std::vector<std::uint8_t> storedSha256;
};

// The whole RT_RCDATA 101 resource of the running executable. Throws "Installer package missing".
ByteView loadPackageResource();

// Checks every rule of the format and every entry's stored bytes against their digest;
// returns entries in package order or throws one of the fixed package failure texts.
// Never returns a partial list. Nothing is decoded yet.
std::vector<PackageEntry> parseSetupPackage(ByteView package);

// parseSetupPackage, then every entry decoded (on every core) and checked against its
// decoded digest, without writing anything: what --verify-only does.
std::vector<PackageEntry> verifySetupPackageCompletely(ByteView package);

} // namespace elvara
