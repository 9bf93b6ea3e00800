#pragma once
// The user's own files and folders in an install folder keep their place when the
// installer puts a new folder there: everything that the folder's ownership does not
// claim moves to the same relative path in the new folder. Where the new folder
// already holds that name (a package file that a new version starts to ship), the
// user's item is kept beside it under a derived name; nothing is ever replaced.
#include "install/filesystem_ops.h"
#include "install/folder_tree.h"
#include "install/ownership.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace elvara {

struct CarriedItem {
    std::wstring from; // relative to the old folder
    std::wstring to;   // relative to the new folder; differs from `from` when the name was taken
};

struct CarryFailure {
    std::wstring path; // full path of the item that could not move
    DWORD error = ERROR_SUCCESS;
};

struct CarryResult {
    std::vector<CarriedItem> carried;
    std::vector<std::wstring> createdFolders; // relative to the new folder, in the order made
    std::vector<std::wstring> links;          // full paths of links where the package puts its own files: never moved
    std::vector<std::wstring> setAside;       // the user's plug-in modules, relative to the old folder: left where they were
    std::optional<CarryFailure> failure;      // the first item that could not move
};

// Told of each move before it is made; false stops that move (as a failure).
using BeforeCarry = std::function<bool(const CarriedItem&)>;

// Moves what `ours` does not claim from `from` into `to`. A link is moved itself, never
// followed, unless it stands where the package puts a file or folder. A plug-in module
// that is not ours stays where it is (see isPluginModuleName). With stopAtFailure the
// walk ends at the first item that cannot move; otherwise it moves what it can.
CarryResult carryUserItems(const std::wstring& from, const std::wstring& to, const TreeOwnership& ours,
                           FileOperations& operations, bool stopAtFailure, const BeforeCarry& beforeCarry = {});

// A carried item that could not be moved back: full paths.
struct NotPutBack {
    std::wstring belongs; // its own place
    std::wstring stays;   // where it is now
    DWORD error = ERROR_SUCCESS;
};

// Undoes a carry: every carried item back to its place in `from`, then the folders
// that the carry made in `to`, once empty. What cannot move stays, and is returned.
std::vector<NotPutBack> carryBack(const std::wstring& from, const std::wstring& to, const CarryResult& result,
                                  FileOperations& operations) noexcept;

// A file that a plug-in host would load from the bundle: a second one beside the
// plug-in's own module must never be kept there.
bool isPluginModuleName(const std::wstring& name) noexcept;

// "CHANGES (yours).txt", then "CHANGES (yours 2).txt" and so on: a name that no
// package entry can have (the package's names hold neither spaces nor brackets).
std::wstring derivedUserName(const std::wstring& name, unsigned attempt);

} // namespace elvara
