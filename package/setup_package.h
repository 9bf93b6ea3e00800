#pragma once
#include "package/byte_view.h"

#include <cstdint>
#include <string>
#include <vector>

namespace elvara {

// One verified entry. `data` points into the executable's resource and is never copied.
struct PackageEntry {
    std::string name;
    ByteView data;
    std::vector<std::uint8_t> sha256;
};

// The whole RT_RCDATA 101 resource of the running executable. Throws "Installer package missing".
ByteView loadPackageResource();

// Checks every rule of the format and every digest; returns entries in package order
// or throws one of the fixed package failure texts. Never returns a partial list.
std::vector<PackageEntry> parseSetupPackage(ByteView package);

} // namespace elvara
