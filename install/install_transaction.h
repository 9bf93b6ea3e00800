#pragma once
#include "install/filesystem_ops.h"
#include "install/install_locations.h"
#include "install/package_tree.h"
#include "package/setup_package.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace elvara {

using ProgressCallback = std::function<void(std::uint32_t)>;

// A user's file that kept its place beside a file of the same name that the new
// installation brought: full paths.
struct KeptBeside {
    std::wstring original;
    std::wstring keptAs;
};

struct InstallOutcome {
    std::vector<KeptBeside> keptBeside;
};

// Installs both trees as one transaction: staging beside the targets (each tree's
// installation record first), the user's own items of the previous installation
// carried into the staged folders, the previous installation moved aside, then the
// staged one swapped in. An item of the user's that cannot be carried fails the run
// before the swap. Any failure before the swap is
// complete puts everything back and is raised again. Once the swap is complete the
// installation has succeeded: what the clean-up cannot remove is logged and left to
// the next run's recovery. Call it while holding the InstallLock: it first recovers
// what interrupted runs left behind.
InstallOutcome installPackage(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                              const ProgressCallback& progress);
InstallOutcome installPackage(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                              const ProgressCallback& progress, FileOperations& operations);

// A package file or folder that a removal left in place, and why: not ours (a link,
// another kind of entry, a path through a link) or refused (in use, access denied).
struct LeftBehind {
    std::wstring path;
    RemovalOutcome outcome = RemovalOutcome::Refused;
    DWORD error = ERROR_SUCCESS;
};
std::string describeLeftBehind(const LeftBehind& entry);

// Best effort: removes the files below root that are ours (listed by root's record
// with matching bytes, or, without a record, named by the package), then the folders
// that held them, then root, each verified through its own handle (never through a
// link). Other files, and their folders, stay and are not reported; everything else
// that stayed is returned. Only the check of root itself raises.
std::vector<LeftBehind> removePackageFiles(const std::wstring& root, const std::vector<PackageEntry>& entries,
                                           PackageTree tree);
std::vector<LeftBehind> removePackageFiles(const std::wstring& root, const std::vector<PackageEntry>& entries,
                                           PackageTree tree, FileOperations& operations);
// The same for files given by their paths relative to root.
std::vector<LeftBehind> removeTreeFiles(const std::wstring& root, const std::vector<std::wstring>& relativeFiles,
                                        FileOperations& operations);

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
