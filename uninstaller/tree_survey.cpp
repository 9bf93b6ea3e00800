#include "tree_survey.h"

#include "base/file_identity.h"
#include "base/path_text.h"
#include "base/unique_handle.h"
#include "install/filesystem_ops.h"
#include "install/folder_tree.h"
#include "install/ownership.h"
#include "install/path_safety.h"
#include "install/verified_removal.h"
#include "package/text.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace elvara {

namespace {

std::wstring linkText(const std::wstring& path)
{
    return L"Nothing was removed: " + path +
           L" is a link to another place, and the uninstaller deletes nothing through a link. Remove the link, then "
           L"run the uninstaller again.";
}

std::wstring foreignText(const std::wstring& folder)
{
    return L"Nothing was removed: the folder " + folder +
           L" was not created by the ElvaraSound setup program (its marker file is missing or altered). If you no "
           L"longer need the files in it, delete the folder yourself, then run the uninstaller again.";
}

std::wstring inUseText(const std::wstring& path)
{
    return L"Nothing was removed: " + path +
           L" is in use by another program. Close that program, then run the uninstaller again.";
}

std::wstring unreadableText(const std::wstring& path, DWORD error)
{
    return L"Nothing was removed: " + path + L" cannot be examined (" +
           utf8ToWide(systemErrorDescription(error)) + L"). Run the uninstaller again once it can be read.";
}

constexpr wchar_t pluginInUseText[] =
    L"Close FL Studio and other DAWs before removing the plugin. Nothing was removed; run the uninstaller again once "
    L"they are closed.";

bool meansInUse(DWORD error) noexcept { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

// The error of an open that inspectEntry could not make.
DWORD openError(const std::wstring& path) noexcept
{
    try {
        UniqueFile probe(CreateFileW(extendedLengthPath(path).c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, shareAll,
                                     nullptr, OPEN_EXISTING, noLinkFollowing, nullptr));
        return probe ? ERROR_SUCCESS : GetLastError();
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

std::wstring refusalFor(const std::wstring& path, EntryKind kind)
{
    if (kind == EntryKind::Unreadable) {
        const DWORD error = openError(path);
        return meansInUse(error) ? inUseText(path) : unreadableText(path, error);
    }
    // Absent here means listed by the folder but not openable: a link that leads nowhere.
    return linkText(path);
}

// The outermost folder above path that is a link (path itself when none is found).
std::wstring firstLinkOnTheWay(const std::wstring& path)
{
    const LexedPath lexed = lexPath(path);
    std::wstring folder = lexed.root;
    for (const std::wstring& component : lexed.components) {
        folder = appendPath(folder, component);
        if (inspectEntry(folder) == EntryKind::Link) return folder;
    }
    return path;
}

struct Entry {
    std::wstring path;
    bool isFolder;
    bool isLink = false; // never followed
};

// Every entry below folder, each judged through its own handle; stops at the first
// unexaminable entry. Links are listed, not followed.
void walk(const std::wstring& folder, std::vector<Entry>& entries, std::optional<std::wstring>& refusal)
{
    // A folder that cannot be listed, at its first search or part way through, is never
    // taken for empty.
    std::vector<std::wstring> names;
    try {
        names = folderEntryNames(folder);
    } catch (const FilesystemFailure& failure) {
        refusal = unreadableText(folder, failure.errorCode());
        return;
    }
    for (const std::wstring& name : names) {
        const std::wstring path = appendPath(folder, name);
        const EntryKind kind = inspectEntry(path);
        if (kind == EntryKind::Link || kind == EntryKind::Absent) { // Absent: a link that leads nowhere
            entries.push_back(Entry{path, false, true});
            continue;
        }
        if (kind != EntryKind::File && kind != EntryKind::Folder) {
            refusal = refusalFor(path, kind);
            return;
        }
        entries.push_back(Entry{path, kind == EntryKind::Folder});
        if (kind == EntryKind::Folder) {
            walk(path, entries, refusal);
            if (refusal) return;
        }
    }
}

// The folders between the install folder and each package file.
std::vector<std::wstring> foldersOnTheWay(const TreeLayout& layout)
{
    std::vector<std::wstring> folders;
    for (const std::wstring& file : layout.packageFiles)
        for (std::wstring folder = parentPath(file); folder.size() > layout.folder.size(); folder = parentPath(folder))
            if (!isOneOf(folder, folders)) folders.push_back(folder);
    return folders;
}

std::optional<std::wstring> refusalForModule(const std::wstring& path, bool isPlugin)
{
    const ModuleUse use = moduleUse(path); // lifts a read-only attribute for its probe
    if (use == ModuleUse::Free || use == ModuleUse::Absent) return std::nullopt;
    if (use == ModuleUse::ReadOnly) return unreadableText(path, ERROR_ACCESS_DENIED);
    return isPlugin ? std::wstring(pluginInUseText) : inUseText(path);
}

} // namespace

bool isOneOf(const std::wstring& path, const std::vector<std::wstring>& paths) noexcept
{
    return std::any_of(paths.begin(), paths.end(), [&](const std::wstring& p) { return sameLocation(p, path); });
}

TreeSurvey surveyTree(const TreeLayout& layout)
{
    TreeSurvey survey;
    try {
        ensureSafeInstallPath(layout.folder);
    } catch (const std::exception&) {
        survey.refusal = linkText(firstLinkOnTheWay(layout.folder));
        return survey;
    }
    const EntryKind root = inspectEntry(layout.folder);
    if (root == EntryKind::Absent) return survey;
    survey.present = true;
    if (root == EntryKind::File) {
        survey.refusal = foreignText(layout.folder);
        return survey;
    }
    if (root != EntryKind::Folder) {
        survey.refusal = refusalFor(layout.folder, root);
        return survey;
    }
    std::vector<Entry> entries;
    walk(layout.folder, entries, survey.refusal);
    if (survey.refusal) return survey;

    const std::vector<std::wstring> packageFolders = foldersOnTheWay(layout);
    survey.holdsNoFiles = holdsNoFiles(layout.folder);
    for (const Entry& entry : entries) {
        // A user's link elsewhere is the user's item like any file; one where the package
        // puts a file or a folder could lead the removal out of the installation.
        if (entry.isLink && (isOneOf(entry.path, layout.packageFiles) || isOneOf(entry.path, packageFolders))) {
            survey.refusal = linkText(entry.path);
            return survey;
        }
        if (entry.isLink)
            survey.userFiles.push_back(entry.path);
        else if (entry.isFolder && (survey.holdsNoFiles || isOneOf(entry.path, packageFolders)))
            survey.packageFolders.push_back(entry.path);
        else if (!entry.isFolder && isOneOf(entry.path, layout.packageFiles))
            survey.packageFiles.push_back(entry.path);
        else
            survey.userFiles.push_back(entry.path);
    }
    std::stable_sort(survey.packageFolders.begin(), survey.packageFolders.end(),
                     [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
    survey.packageFolders.push_back(layout.folder);

    const MarkerState marker =
        isOneOf(layout.marker, survey.packageFiles) ? readMarker(layout.marker) : MarkerState{MarkerCheck::Absent};
    survey.markerIsExact = marker.check == MarkerCheck::Exact;
    if (marker.check == MarkerCheck::InUse)
        survey.refusal = inUseText(layout.marker);
    else if (marker.check == MarkerCheck::Unreadable)
        survey.refusal = unreadableText(layout.marker, marker.error);
    else if (!survey.markerIsExact && !survey.packageFiles.empty())
        survey.refusal = foreignText(layout.folder); // package names without the marker: not provably ours
    return survey;
}

std::optional<std::wstring> refusalForFilesInUse(const TreeLayout& layout, const TreeSurvey& survey,
                                                 const std::wstring& skipped)
{
    for (const std::wstring& file : survey.packageFiles) {
        if (!skipped.empty() && sameLocation(file, skipped)) continue;
        if (isOneOf(file, layout.executables)) continue; // probed below, after every other check
        // Deletion needs an open for delete access, which a holder without delete sharing refuses.
        UniqueFile probe(CreateFileW(extendedLengthPath(file).c_str(), DELETE | SYNCHRONIZE, shareAll, nullptr, OPEN_EXISTING,
                                     noLinkFollowing, nullptr));
        if (!probe) {
            const DWORD error = GetLastError();
            return meansInUse(error) ? inUseText(file) : unreadableText(file, error);
        }
    }
    for (const std::wstring& file : survey.packageFiles) {
        if (!skipped.empty() && sameLocation(file, skipped)) continue;
        if (!isOneOf(file, layout.executables)) continue;
        if (auto refusal = refusalForModule(file, sameLocation(file, layout.pluginModule))) return refusal;
    }
    return std::nullopt;
}

} // namespace elvara
