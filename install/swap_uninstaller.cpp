#include "install/swap_uninstaller.h"

#include "base/event_log.h"
#include "base/file_identity.h"
#include "base/path_text.h"
#include "base/unique_handle.h"
#include "install/folder_tree.h"
#include "install/path_safety.h"
#include "install/recovery.h"
#include "install/uninstall_registration.h"
#include "install/verified_removal.h"

#include <windows.h>

#include <algorithm>

namespace elvara {

namespace {

constexpr std::wstring_view infix = L".uninstall-";
constexpr std::wstring_view extension = L".exe";
constexpr std::size_t tokenDigits = 16;

std::wstring leafOf(const std::wstring& path)
{
    const LexedPath lexed = lexPath(path);
    return lexed.components.empty() ? std::wstring() : lexed.components.back();
}

bool isSwapUninstallerName(const std::wstring& productFolder, std::wstring_view name)
{
    const std::wstring prefix = leafOf(productFolder) + std::wstring(infix);
    if (name.size() != prefix.size() + tokenDigits + extension.size()) return false;
    if (CompareStringOrdinal(name.data(), static_cast<int>(prefix.size()), prefix.data(), static_cast<int>(prefix.size()),
                             TRUE) != CSTR_EQUAL ||
        CompareStringOrdinal(name.data() + name.size() - extension.size(), static_cast<int>(extension.size()),
                             extension.data(), static_cast<int>(extension.size()), TRUE) != CSTR_EQUAL)
        return false;
    const std::wstring_view token = name.substr(prefix.size(), tokenDigits);
    return std::all_of(token.begin(), token.end(),
                       [](wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'); });
}

// Every copy beside the product folder but the one that the entry names; one that is
// running stays, for its own copy to delete once it has ended.
bool removeCopiesNotNamed(const InstallLocations& locations, const char* phase) noexcept
{
    bool allGone = true;
    try {
        const std::optional<std::wstring> named = uninstallEntryProgram(locations.scope);
        const std::wstring parent = parentPath(locations.productFolder);
        for (const std::wstring& name : folderEntryNames(parent)) {
            if (!isSwapUninstallerName(locations.productFolder, name)) continue;
            const std::wstring copy = appendPath(parent, name);
            if (named && sameLocation(*named, copy)) continue;
            const RemovalResult removed = removeFileVerified(copy);
            if (removed.outcome == RemovalOutcome::Removed)
                event_log::write(std::string(phase) + ": removed " + printablePath(copy));
            else if (removed.outcome != RemovalOutcome::Absent) {
                allGone = false;
                event_log::write(std::string(phase) + ": could not remove " + printablePath(copy) + " yet (Win32 error " +
                                 std::to_string(removed.error) + ")");
            }
        }
    } catch (const std::exception& failure) {
        event_log::writeFailure(std::string(phase) + ": the uninstaller's copies", failure);
        return false;
    } catch (...) {
        return false;
    }
    return allGone;
}

} // namespace

bool removeEndedSwapUninstallers(const InstallLocations& locations) noexcept
{
    return removeCopiesNotNamed(locations, "self-removal");
}

std::wstring swapUninstallerPath(const std::wstring& productFolder, std::wstring_view token)
{
    return appendPath(parentPath(productFolder),
                      leafOf(productFolder) + std::wstring(infix) + std::wstring(token) + std::wstring(extension));
}

bool isSwapUninstaller(const std::wstring& productFolder, const std::wstring& path) noexcept
{
    try {
        return isSwapUninstallerName(productFolder, leafOf(path)) &&
               isSameEntry(extendedLengthPath(parentPath(path)), extendedLengthPath(parentPath(productFolder)));
    } catch (...) {
        return false;
    }
}

SwapUninstaller::SwapUninstaller(const InstallLocations& locations, std::wstring_view token,
                                 std::wstring stagedUninstaller, std::uint64_t installedBytes)
    : locations_(locations), copy_(swapUninstallerPath(locations.productFolder, token)),
      stagedUninstaller_(std::move(stagedUninstaller)), installedBytes_(installedBytes)
{
}

void SwapUninstaller::prepare()
{
    ensureSafeInstallPath(copy_);
    entryExisted_ = uninstallEntryExists(locations_.scope);
    // Never over an existing file: the name is the run's own.
    const BOOL copied = CopyFileW(extendedLengthPath(stagedUninstaller_).c_str(), extendedLengthPath(copy_).c_str(), TRUE);
    if (!copied) throw FilesystemFailure("write", GetLastError(), copy_);
    prepared_ = true;
    if (entryExisted_) {
        if (!pointUninstallEntryAt(locations_.scope, copy_))
            throw FilesystemFailure("write", ERROR_WRITE_FAULT, std::wstring(uninstallKeyPath));
    } else {
        registerUninstallEntry(locations_, installedBytes_, copy_);
    }
    event_log::write("the uninstall entry names " + printablePath(copy_) + " while the folders are swapped");
}

void SwapUninstaller::settle() noexcept
{
    if (!prepared_) return;
    // While the entry cannot name the installed uninstaller, the copy still serves.
    if (pointUninstallEntryAt(locations_.scope, installedUninstallerPath(locations_)))
        removeCopiesNotNamed(locations_, "clean-up");
}

void SwapUninstaller::undo() noexcept
{
    if (!prepared_) return;
    if (entryExisted_ ? pointUninstallEntryAt(locations_.scope, installedUninstallerPath(locations_))
                      : removeUninstallEntry(locations_.scope))
        removeCopiesNotNamed(locations_, "rollback");
}

void settleSwapUninstallers(const InstallLocations& locations) noexcept
{
    try {
        const std::wstring installed = installedUninstallerPath(locations);
        if (const auto program = uninstallEntryProgram(locations.scope);
            program && isSwapUninstaller(locations.productFolder, *program)) {
            if (inspectEntry(installed) == EntryKind::File) {
                if (pointUninstallEntryAt(locations.scope, installed))
                    event_log::write("recovery: the uninstall entry names " + printablePath(installed) + " again");
            } else if (inspectEntry(locations.bundleFolder) == EntryKind::Absent) {
                // No plug-in and no uninstaller of ours: at most a folder that keeps the
                // user's files, as an uninstall left it.
                if (removeUninstallEntry(locations.scope))
                    event_log::write("recovery: nothing of ours to uninstall stands; the uninstall entry is removed");
            }
        }
    } catch (const std::exception& failure) {
        event_log::writeFailure("recovery: the uninstall entry", failure);
    } catch (...) {
    }
    removeCopiesNotNamed(locations, "recovery");
}

} // namespace elvara
