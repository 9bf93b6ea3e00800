#pragma once
#include "install/filesystem_ops.h"
#include "install/install_locations.h"
#include "install/package_tree.h"
#include "install/recovery.h"
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
    // Working folders of ours that could not be cleared yet (a host holds a module in
    // one, say): the next run of Setup or the uninstaller clears them.
    std::vector<std::wstring> workingFoldersLeft;
    // Working folders where only the user's items are left (they could not be put back).
    std::vector<std::wstring> userItemsLeftIn;
    // The user's plug-in modules from the bundle, kept outside the folders hosts scan.
    std::vector<KeptBeside> modulesSetAside;
};

// What the package's files take on the disk, in bytes.
std::uint64_t packageBytes(const std::vector<PackageEntry>& entries) noexcept;

// Installs both trees as one transaction: staging beside the targets (each tree's
// installation record first), the user's own items of the previous installation
// carried into the staged folders, the previous installation moved aside, then the
// staged one swapped in. An item of the user's that cannot be carried fails the run
// before the swap. Any failure before the swap is
// complete puts everything back and is raised again. Once the swap is complete the
// installation has succeeded: what the clean-up cannot remove is logged and left to
// the next run's recovery. Call it while holding the InstallLock: it first recovers
// what interrupted runs left behind.
//
// With EntryDuringSwap::NamesAnUninstallerThatExists (for the scope's real folders) the
// scope's uninstall entry names a copy of the new uninstaller beside the product folder
// while the folders are swapped (see SwapUninstaller): a new entry where there was none.
enum class EntryDuringSwap { Untouched, NamesAnUninstallerThatExists };
InstallOutcome installPackage(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                              const ProgressCallback& progress, EntryDuringSwap entry = EntryDuringSwap::Untouched);
InstallOutcome installPackage(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                              const ProgressCallback& progress, FileOperations& operations,
                              EntryDuringSwap entry = EntryDuringSwap::Untouched);

} // namespace elvara
