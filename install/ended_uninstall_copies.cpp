#include "install/ended_uninstall_copies.h"

#include "base/event_log.h"
#include "base/path_text.h"
#include "install/folder_tree.h"
#include "install/verified_removal.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace elvara {

bool isUninstallCopyFolderName(std::wstring_view name) noexcept
{
    if (!name.starts_with(uninstallCopyFolderPrefix)) return false;
    const std::wstring_view token = name.substr(uninstallCopyFolderPrefix.size());
    return token.size() == 16 && std::all_of(token.begin(), token.end(), [](wchar_t c) {
               return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
           });
}

std::wstring userTemporaryFolder()
{
    wchar_t buffer[MAX_PATH + 2] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) return {};
    std::wstring temporary(buffer, length);
    while (temporary.size() > 3 && isPathSeparator(temporary.back())) temporary.pop_back();
    return temporary;
}

void removeEndedUninstallCopies() noexcept
{
    try {
        const std::wstring temporary = userTemporaryFolder();
        if (temporary.empty()) return;
        for (const std::wstring& name : folderEntryNames(temporary)) {
            if (!isUninstallCopyFolderName(name)) continue;
            const std::wstring folder = appendPath(temporary, name);
            if (inspectEntry(folder) != EntryKind::Folder) continue;
            const std::vector<std::wstring> inside = folderEntryNames(folder);
            if (inside.size() > 1 || (inside.size() == 1 && inside.front() != L"Uninstall.exe")) continue;
            // A copy that still runs cannot be deleted: its folder waits for a later run.
            const RemovalResult copy = removeFileVerified(appendPath(folder, L"Uninstall.exe"));
            if (copy.outcome != RemovalOutcome::Removed && copy.outcome != RemovalOutcome::Absent) continue;
            if (removeEmptyFolderVerified(folder).outcome == RemovalOutcome::Removed)
                event_log::write(L"removed the ended uninstall copy " + folder);
        }
    } catch (...) {
    }
}

} // namespace elvara
