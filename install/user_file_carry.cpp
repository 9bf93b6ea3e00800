#include "install/user_file_carry.h"

#include "base/file_identity.h"
#include "base/path_text.h"
#include "base/unique_handle.h"
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
    const BeforeCarry& beforeCarry;
    CarryResult result;

    bool stopped() const { return stopAtFailure && result.failure.has_value(); }

    void fail(const std::wstring& path, DWORD error)
    {
        if (!result.failure) result.failure = CarryFailure{path, error};
    }

    // A name in the new folder's `toFolder` that nothing holds yet.
    std::optional<std::wstring> freeName(const std::wstring& toFolder, const std::wstring& name) const
    {
        for (unsigned attempt = 0; attempt <= maximumDerivedNames; ++attempt) {
            const std::wstring candidate = appendPath(toFolder, attempt == 0 ? name : derivedUserName(name, attempt));
            if (inspectEntry(appendPath(toRoot, candidate)) == EntryKind::Absent) return candidate;
        }
        return std::nullopt;
    }

    // Made only when something moves into it, so an old version's folder does not
    // reappear empty in the new installation.
    bool ensureFolder(const std::wstring& relative, const std::wstring& source)
    {
        std::wstring folder;
        for (const std::wstring& component : lexPath(relative).components) {
            folder = appendPath(folder, component);
            if (inspectEntry(appendPath(toRoot, folder)) == EntryKind::Folder) continue;
            if (!CreateDirectoryW(extendedLengthPath(appendPath(toRoot, folder)).c_str(), nullptr)) {
                fail(source, GetLastError());
                return false;
            }
            result.createdFolders.push_back(folder);
        }
        return true;
    }

    void move(const std::wstring& from, const std::wstring& toFolder, const std::wstring& name)
    {
        const std::wstring source = appendPath(fromRoot, from);
        if (!ensureFolder(toFolder, source)) return;
        const std::optional<std::wstring> to = freeName(toFolder, name);
        if (!to) return fail(source, ERROR_FILE_EXISTS);
        if (beforeCarry && !beforeCarry({from, *to})) return fail(source, ERROR_WRITE_FAULT);
        const DWORD error = operations.moveWithoutReplacing(source, appendPath(toRoot, *to));
        if (error != ERROR_SUCCESS) return fail(source, error);
        result.carried.push_back({from, *to});
    }

    void carryFile(const std::wstring& from, const std::wstring& toFolder, const std::wstring& name)
    {
        if (ours.tree() == PackageTree::Bundle && isPluginModuleName(name))
            result.setAside.push_back(from); // hosts would load it beside the plug-in
        else
            move(from, toFolder, name);
    }

    // Files move one by one, so that one held open stops the carry on every platform
    // (Windows refuses to rename a folder that holds an open file; Wine does not).
    void folder(const std::wstring& from, const std::wstring& toFolder, const std::wstring& name)
    {
        std::wstring to = appendPath(toFolder, name);
        const EntryKind existing = inspectEntry(appendPath(toRoot, to));
        if (existing != EntryKind::Folder && existing != EntryKind::Absent) {
            // A package file took the name: the folder goes beside it.
            const std::optional<std::wstring> free = freeName(toFolder, name);
            if (!free) return fail(appendPath(fromRoot, from), ERROR_FILE_EXISTS);
            to = *free;
        }
        const std::wstring source = appendPath(fromRoot, from);
        const std::optional<std::vector<std::wstring>> names = listed(source);
        if (!names) return;
        if (names->empty() && !ours.listsAnythingBelow(from)) {
            ensureFolder(to, source); // a folder of the user's, empty
            return;
        }
        // A folder of the user's with a link in it moves whole: renaming the folder takes
        // the link along as it is, on every file system.
        if (!ours.listsAnythingBelow(from) && existing == EntryKind::Absent && holdsALink(source)) {
            move(from, toFolder, name);
            return;
        }
        walk(from, to);
    }

    bool holdsALink(const std::wstring& folder)
    {
        const std::optional<std::vector<std::wstring>> names = listed(folder);
        if (!names) return false;
        return std::any_of(names->begin(), names->end(), [&](const std::wstring& name) {
            const std::wstring path = appendPath(folder, name);
            const EntryKind kind = inspectEntry(path);
            return kind == EntryKind::Link || kind == EntryKind::Absent || (kind == EntryKind::Folder && holdsALink(path));
        });
    }

    // A folder that cannot be listed is not empty: its contents cannot be carried.
    std::optional<std::vector<std::wstring>> listed(const std::wstring& folder)
    {
        try {
            return folderEntryNames(folder);
        } catch (const FilesystemFailure& failure) {
            fail(folder, failure.errorCode());
            return std::nullopt;
        }
    }

    void walk(const std::wstring& fromFolder, const std::wstring& toFolder)
    {
        std::optional<std::vector<std::wstring>> names = listed(appendPath(fromRoot, fromFolder));
        if (!names) return;
        // Items whose own name is free go first, so that an item kept beside as
        // "(yours)" by an earlier update keeps that name and a newly kept one takes the next.
        std::stable_partition(names->begin(), names->end(), [&](const std::wstring& name) {
            return inspectEntry(appendPath(toRoot, appendPath(toFolder, name))) == EntryKind::Absent;
        });
        for (const std::wstring& name : *names) {
            if (stopped()) return;
            const std::wstring from = appendPath(fromFolder, name);
            const std::wstring source = appendPath(fromRoot, from);
            switch (inspectEntry(source)) {
            case EntryKind::Link:
            case EntryKind::Absent: // listed but not openable: a link that leads nowhere
                // The link itself is renamed, never what it leads to: where the system
                // cannot rename it apart from its target, or where the package puts its
                // own files (for the path checks to refuse), it stays.
                if (ours.lists(from) || ours.listsAnythingBelow(from) || !isLinkApartFromItsTarget(source))
                    result.links.push_back(source);
                else
                    move(from, toFolder, name);
                break;
            case EntryKind::File:
                if (ours.isOurs(from)) break;
                carryFile(from, toFolder, name);
                break;
            case EntryKind::Folder:
                folder(from, toFolder, name);
                break;
            case EntryKind::Unreadable: // held without sharing: the move tells whether it can go
                carryFile(from, toFolder, name);
                break;
            }
        }
    }
};

} // namespace

bool isPluginModuleName(const std::wstring& name) noexcept
{
    constexpr std::wstring_view extension = L".vst3";
    if (name.size() <= extension.size()) return false;
    return std::equal(extension.begin(), extension.end(), name.end() - static_cast<std::ptrdiff_t>(extension.size()),
                      [](wchar_t a, wchar_t b) { return a == (b >= L'A' && b <= L'Z' ? b - L'A' + L'a' : b); });
}

std::wstring derivedUserName(const std::wstring& name, unsigned attempt)
{
    const std::wstring tag = attempt <= 1 ? L" (yours)" : L" (yours " + std::to_wstring(attempt) + L")";
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0) return name + tag;
    return name.substr(0, dot) + tag + name.substr(dot);
}

CarryResult carryUserItems(const std::wstring& from, const std::wstring& to, const TreeOwnership& ours,
                           FileOperations& operations, bool stopAtFailure, const BeforeCarry& beforeCarry)
{
    Carrier carrier{from, to, ours, operations, stopAtFailure, beforeCarry, {}};
    carrier.walk(L"", L"");
    return std::move(carrier.result);
}

std::vector<NotPutBack> carryBack(const std::wstring& from, const std::wstring& to, const CarryResult& result,
                                  FileOperations& operations) noexcept
{
    std::vector<NotPutBack> left;
    try {
        for (auto item = result.carried.rbegin(); item != result.carried.rend(); ++item) {
            const std::wstring stays = appendPath(to, item->to);
            const std::wstring belongs = appendPath(from, item->from);
            const DWORD error = operations.moveWithoutReplacing(stays, belongs);
            if (error != ERROR_SUCCESS) left.push_back({belongs, stays, error});
        }
        for (auto folder = result.createdFolders.rbegin(); folder != result.createdFolders.rend(); ++folder)
            operations.removeEmptyFolder(appendPath(to, *folder));
    } catch (...) {
    }
    return left;
}

} // namespace elvara
