#include "unit/built_package.h"

#include <algorithm>

namespace elvara::test {

BuiltPackage::BuiltPackage(std::vector<BuiltEntry> built)
{
    std::sort(built.begin(), built.end(), [](const BuiltEntry& a, const BuiltEntry& b) { return a.name < b.name; });
    bytes = buildPackage(built);
    entries = parseSetupPackage({bytes.data(), bytes.size()});
}

} // namespace elvara::test
