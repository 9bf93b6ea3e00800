#pragma once
// Removes what the setup program installed: the package's files of both install
// folders (only where the folder's ownership marker is exact), the folders that
// became empty, and the uninstall entry.
#include <string>
#include <vector>

namespace elvara {

struct UninstallReport {
    bool removedSomething = false;
    bool failed = false;
    bool needsSelfRemoval = false; // this program runs from the product folder it emptied
    std::vector<std::wstring> messages; // each a complete sentence for the user
};

UninstallReport uninstallProduct(const std::wstring& runningExecutable);

// After the first process has ended: deletes its Uninstall.exe and the product folder
// if that is then empty; the temporary copy is deleted at the next restart.
void finishSelfRemoval(unsigned long firstProcessId, const std::wstring& productFolder);

} // namespace elvara
