#include "install/package_tree.h"

#include "package/package_format.h"
#include "package/text.h"

namespace elvara {

bool isPluginEntry(const PackageEntry& entry) noexcept { return package_format::isBundleName(entry.name); }

PackageTree treeOf(std::string_view packageName) noexcept
{
    return package_format::isBundleName(packageName) ? PackageTree::Bundle : PackageTree::Product;
}

std::wstring entryRelativePath(const PackageEntry& entry, PackageTree tree)
{
    const std::string_view prefix =
        tree == PackageTree::Bundle ? package_format::bundleTreePrefix : package_format::productTreePrefix;
    const std::string_view name = entry.name;
    return utf8ToWide(name.substr(std::min(prefix.size(), name.size())));
}

std::wstring treeRelativePath(std::string_view packageName)
{
    return utf8ToWide(package_format::treeRelativeName(packageName));
}

std::vector<std::string> namesInTree(const std::vector<PackageEntry>& entries, PackageTree tree)
{
    std::vector<std::string> names;
    for (const PackageEntry& entry : entries)
        if (treeOf(entry.name) == tree) names.emplace_back(entry.name);
    return names;
}

} // namespace elvara
