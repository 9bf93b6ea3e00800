#pragma once
// The two trees of the package: the plug-in bundle and the product folder, each
// installed into its own folder.
#include "package/setup_package.h"

#include <string>
#include <string_view>
#include <vector>

namespace elvara {

enum class PackageTree { Bundle, Product };

bool isPluginEntry(const PackageEntry& entry) noexcept;
PackageTree treeOf(std::string_view packageName) noexcept;
// The entry's path inside its tree, as UTF-16; "/" separators stay.
std::wstring entryRelativePath(const PackageEntry& entry, PackageTree tree);
std::wstring treeRelativePath(std::string_view packageName);
// The names of one tree's entries, in package order.
std::vector<std::string> namesInTree(const std::vector<PackageEntry>& entries, PackageTree tree);

} // namespace elvara
