#include "install/user_file_carry.h"

#include "base/unique_handle.h"
#include "install/path_text.h"
#include "install/verified_removal.h"

#include <algorithm>

namespace elvara {

namespace {

constexpr unsigned maximumDerivedNames = 100;

struct Carrier {
    const std::wstring& fromRoot;
    const std::wstring& toRoot;
    const TreeOwnership& ours;
    FileOperations& operations;
    bool stopAtFailure;
    CarryResult result;

    bool stopped() const { return stopAtFailure && result.failure.has_value(); }

    void fail(const std::wstring& path, DWORD error)
    {
        if (!result.failure) result.failure = CarryFailure{path, error};
    }

    // A free name for the item in the new folder's `relativeFolder`.
    std::optional<std::wstring> freeName(const std::wstring& relativeFolder, const std::wstring& name) const
    {
        for (unsigned attempt = 0; attempt <= maximumDerivedNames; ++attempt) {
            const std::wstring candidate = appendPath(relativeFolder, attempt == 0 ? name : derivedUserName(name, attempt));
            if (inspectEntry(appendPath(toRoot, candidate)) == EntryKind::Absent) return candidate;
        }
        return std::nullopt;
    }

    void move(const std::wstring& relativeFolder, const std::wstring& name)
    {
        const std::wstring from = appendPath(relativeFolder, name);
        const std::wstring source = appendPath(fromRoot, from);
        const std::optional<std::wstring> to = freeName(relativeFolder, name);
        if (!to) return fail(source, ERROR_FILE_EXISTS);
        const DWORD error = operations.moveWithoutReplacing(source, appendPath(toRoot, *to));
        if (error != ERROR_SUCCESS) return fail(source, error);
        result.carried.push_back({from, *to});
    }

    void walk(const std::wstring& relativeFolder)
    {
        for (const std::wstring& name : folderEntryNames(appendPath(fromRoot, relativeFolder))) {
            if (stopped()) return;
            const std::wstring relative = appendPath(relativeFolder, name);
            const std::wstring source = appendPath(fromRoot, relative);
            switch (inspectEntry(source)) {
            case EntryKind::Link:
            case EntryKind::Absent: // listed but not openable: a link that leads nowhere
                result.links.push_back(source);
                break;
            case EntryKind::File:
                if (!ours.isOurs(relative)) move(relativeFolder, name);
                break;
            case EntryKind::Folder:
                folder(relativeFolder, name);
                break;
            case EntryKind::Unreadable: // held without sharing: the move tells whether it can go
                move(relativeFolder, name);
                break;
            }
        }
    }

    void folder(const std::wstring& relativeFolder, const std::wstring& name)
    {
        const std::wstring relative = appendPath(relativeFolder, name);
        const EntryKind existing = inspectEntry(appendPath(toRoot, relative));
        // A folder of the user's alone moves in one step, unless the new folder has it too.
        if (!ours.listsAnythingBelow(relative) && existing != EntryKind::Folder) return move(relativeFolder, name);
        if (existing == EntryKind::Absent) {
            if (!CreateDirectoryW(appendPath(toRoot, relative).c_str(), nullptr))
                return fail(appendPath(fromRoot, relative), GetLastError());
            result.createdFolders.push_back(relative);
        } else if (existing != EntryKind::Folder) {
            return move(relativeFolder, name); // a package file took the name: the whole folder goes beside it
        }
        walk(relative);
    }
};

} // namespace

std::vector<std::wstring> folderEntryNames(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    UniqueFindHandle search(FindFirstFileExW(appendPath(folder, L"*").c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0));
    if (!search) return names;
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") names.emplace_back(name);
    } while (FindNextFileW(search.get(), &found));
    return names;
}

std::wstring derivedUserName(const std::wstring& name, unsigned attempt)
{
    const std::wstring tag = attempt <= 1 ? L" (yours)" : L" (yours " + std::to_wstring(attempt) + L")";
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0) return name + tag;
    return name.substr(0, dot) + tag + name.substr(dot);
}

CarryResult carryUserItems(const std::wstring& from, const std::wstring& to, const TreeOwnership& ours,
                           FileOperations& operations, bool stopAtFailure)
{
    Carrier carrier{from, to, ours, operations, stopAtFailure, {}};
    carrier.walk(L"");
    return std::move(carrier.result);
}

void carryBack(const std::wstring& from, const std::wstring& to, const CarryResult& result,
               FileOperations& operations) noexcept
{
    try {
        for (auto item = result.carried.rbegin(); item != result.carried.rend(); ++item)
            operations.moveWithoutReplacing(appendPath(to, item->to), appendPath(from, item->from));
        for (auto folder = result.createdFolders.rbegin(); folder != result.createdFolders.rend(); ++folder)
            operations.removeEmptyFolder(appendPath(to, *folder));
    } catch (...) {
    }
}

} // namespace elvara
