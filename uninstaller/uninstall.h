#pragma once
// Removes what the setup program installed, in two steps: a plan that checks
// everything and changes nothing, then the removal. Each install folder loses its
// package files first and its record and ownership marker last, and keeps both when
// it keeps a file that someone else put there. The uninstall entry goes, and the
// uninstaller itself is left to its copy, only when both folders are done.
#include "install/install_locations.h"
#include "install/install_record_format.h"
#include "install/install_scope.h"
#include "tree_survey.h"

#include <optional>
#include <string>
#include <vector>

namespace elvara {

struct UninstallPlan {
    InstallScope scope = InstallScope::Machine; // whose folders and entry
    TreeLayout bundleLayout, productLayout;
    TreeSurvey bundle, product;
    bool entryPresent = false;
    bool runsInstalledCopy = false; // this process is the product folder's Uninstall.exe
    std::optional<std::wstring> refusal; // when set, nothing may be changed
    bool nothingToRemove() const;
};

// The files of the package that this uninstaller came with, with their sizes and
// SHA-256 (its own file by its own bytes): what a folder without a valid record is
// judged by.
const InstallRecord& builtInPackage();

// The caller holds the scope's install lock.
UninstallPlan planUninstall(const std::wstring& runningExecutable, InstallScope scope,
                            const InstallLocations& locations, const InstallRecord& runningPackage);

enum class UninstallOutcome { Removed, NothingToRemove, Incomplete };

struct UninstallReport {
    UninstallOutcome outcome = UninstallOutcome::NothingToRemove;
    std::vector<std::wstring> keptFiles; // the user's own files, left where they were
    std::vector<std::wstring> problems;  // what could not be removed, and why
    bool selfRemovalNeeded = false;      // the running Uninstall.exe, and the marker beside it, are left to the copy
    bool productFolderKept = false;      // with a user's file in it, the product folder, its record and marker stay
};

// Carries out a plan without refusal. Incomplete leaves the uninstall entry and
// Uninstall.exe in place, so that running again finishes the job.
UninstallReport carryOutUninstall(const UninstallPlan& plan);

// The copy's part, once the first process has ended: deletes the installed
// Uninstall.exe, and the product folder's record, marker and the folder itself when
// nothing else is left in it, only while the marker is exact, the uninstall entry is
// gone and no other package file remains. The caller holds the scope's install lock.
void removeInstalledUninstaller(InstallScope scope);

// For a copy that waited in vain for the install lock: the same checks, without the
// lock, and the installed Uninstall.exe renamed to a name of its own and scheduled for
// deletion at the next restart (whatever an installation then does with the renamed
// file, its own files keep their names). Nothing else is touched.
void scheduleInstalledUninstaller(InstallScope scope);

} // namespace elvara
