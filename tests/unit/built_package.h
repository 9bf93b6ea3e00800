#pragma once
// A package made by the package builder and parsed as Setup parses its own.
#include "package/setup_package.h"
#include "unit/package_builder.h"

#include <cstdint>
#include <vector>

namespace elvara::test {

// A well-formed package of these entries (sorted by name), kept alive with the
// entries that point into it.
struct BuiltPackage {
    explicit BuiltPackage(std::vector<BuiltEntry> built);
    std::vector<std::uint8_t> bytes;
    std::vector<PackageEntry> entries;
};

} // namespace elvara::test
