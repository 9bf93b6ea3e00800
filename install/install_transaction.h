#pragma once
#include "install/filesystem_ops.h"
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
// complete puts everything back and is raised again. Once the swap is complete the
// installation has succeeded: what the clean-up cannot remove is logged and left to
// the next run's recovery. Call it while holding the InstallLock: it first recovers
// what interrupted runs left behind.
void installPackage(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                    const ProgressCallback& progress);
void installPackage(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                    const ProgressCallback& progress, FileOperations& operations);

// A package file or folder that a removal left in place, and why: not ours (a link,
// another kind of entry, a path through a link) or refused (in use, access denied).
struct LeftBehind {
    std::wstring path;
    RemovalOutcome outcome = RemovalOutcome::Refused;
    DWORD error = ERROR_SUCCESS;
};
std::string describeLeftBehind(const LeftBehind& entry);

// Best effort: removes the tree's package files below root, then the folders that
// held them, then root, each verified through its own handle (never through a link).
// Files the package does not name, and their folders, stay and are not reported;
// everything else that stayed is returned. Only the check of root itself raises.
std::vector<LeftBehind> removePackageFiles(const std::wstring& root, const std::vector<PackageEntry>& entries,
                                           PackageTree tree);
std::vector<LeftBehind> removePackageFiles(const std::wstring& root, const std::vector<PackageEntry>& entries,
                                           PackageTree tree, FileOperations& operations);

// Puts right what interrupted runs left beside the two install folders: working
// folders named exactly "<folder>.install-<16 hex>" or "<folder>.rollback-<16 hex>"
// whose markers, where they hold one, are ours. A rollback folder whose install
// folder is missing is renamed back first; then staging and rollback folders lose
// the package's files, a product rollback folder's other files move into the product
// folder at the same relative path, and the emptied folders go. Never follows a
// link; leaves alone what is not provably ours. Call it only under the InstallLock.
void recoverInterruptedRuns(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                            FileOperations& operations = realFileOperations());

} // namespace elvara
