#pragma once
// While the product folder is swapped it is missing for a moment, and with it the
// Uninstall.exe that the uninstall entry names. For that time the entry names a copy of
// the new uninstaller beside the product folder, "<product folder>.uninstall-<token>.exe",
// outside every folder that the swap or a recovery renames: every instant leaves an
// entry whose program exists and finishes the job (its recovery puts the folders right
// first).
#include "install/filesystem_ops.h"
#include "install/install_locations.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace elvara {

std::wstring swapUninstallerPath(const std::wstring& productFolder, std::wstring_view token);
// True when the program at path is such a copy of productFolder's (by its folder and name).
bool isSwapUninstaller(const std::wstring& productFolder, const std::wstring& path) noexcept;

class SwapUninstaller {
public:
    // stagedUninstaller: the new uninstaller as the run staged it (decoded and checked).
    SwapUninstaller(const InstallLocations& locations, std::wstring_view token, std::wstring stagedUninstaller,
                    std::uint64_t installedBytes);
    SwapUninstaller(const SwapUninstaller&) = delete;
    SwapUninstaller& operator=(const SwapUninstaller&) = delete;

    // Copies the staged uninstaller and has the entry name the copy (a new entry where
    // there was none). Raises before anything is renamed; undo() takes back what it did.
    void prepare();
    // The swap is done: the entry names the product folder's Uninstall.exe, the copy goes.
    void settle() noexcept;
    // The swap was undone: the entry as it was (none where there was none), the copy goes.
    void undo() noexcept;

private:
    InstallLocations locations_;
    std::wstring copy_;
    std::wstring stagedUninstaller_;
    std::uint64_t installedBytes_;
    bool prepared_ = false;
    bool entryExisted_ = false;
};

// For recovery, once the folders are put right: where the entry names a copy and the
// product folder's Uninstall.exe stands, the entry names that again; where nothing of
// ours stands, the entry goes; copies that the entry does not name go (one that is
// running stays, for its own copy to delete).
void settleSwapUninstallers(const InstallLocations& locations) noexcept;
// The copies that the entry does not name; false while one cannot be removed yet.
bool removeEndedSwapUninstallers(const InstallLocations& locations) noexcept;

} // namespace elvara
