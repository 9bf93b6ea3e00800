#pragma once
#include "install/install_locations.h"
#include "package/setup_package.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace elvara {

using ProgressCallback = std::function<void(std::uint32_t)>;

enum class PackageTree { Bundle, Product };

bool isPluginEntry(const PackageEntry& entry) noexcept;
// The entry's path inside its tree, as UTF-16; "/" separators stay.
std::wstring entryRelativePath(const PackageEntry& entry, PackageTree tree);

// Installs both trees as one transaction: staging beside the targets, the previous
// own installation moved aside, then swapped in. Any failure before the swap is
// complete puts everything back and is raised again.
void installPackage(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                    const ProgressCallback& progress);

// Best effort: removes the tree's package files below root, then the folders that
// held them, then root. Files the package does not name, and their folders, stay.
void removePackageFiles(const std::wstring& root, const std::vector<PackageEntry>& entries, PackageTree tree);

} // namespace elvara
