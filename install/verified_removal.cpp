#include "install/verified_removal.h"

#include "base/unique_handle.h"

#include <vector>

namespace elvara {

namespace {

constexpr DWORD noLinkFollowing = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool meansAbsent(DWORD error) noexcept
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

wchar_t fold(wchar_t c) noexcept
{
    if (c == L'/') return L'\\';
    if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c - L'A' + L'a');
    return c;
}

// The path after its device or network prefix; network paths are marked as such, so
// that "\\?\UNC\server\share" and "\\server\share" compare equal.
std::wstring_view withoutDevicePrefix(std::wstring_view path, bool& network) noexcept
{
    network = false;
    if (path.starts_with(L"\\\\?\\UNC\\")) {
        network = true;
        return path.substr(8);
    }
    if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\??\\")) return path.substr(4);
    if (path.starts_with(L"\\\\")) {
        network = true;
        return path.substr(2);
    }
    return path;
}

std::wstring_view withoutTrailingSeparators(std::wstring_view path) noexcept
{
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.remove_suffix(1);
    return path;
}

bool finalPathIs(HANDLE handle, const std::wstring& expected) noexcept
{
    try {
        std::vector<wchar_t> buffer(MAX_PATH + 1);
        for (int attempt = 0; attempt < 2; ++attempt) {
            const DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
            if (length == 0) return false;
            if (length < buffer.size()) return sameLocation(std::wstring_view(buffer.data(), length), expected);
            buffer.resize(length + 1);
        }
    } catch (...) {
    }
    return false;
}

struct OpenedEntry {
    UniqueFile handle;
    EntryKind kind = EntryKind::Unreadable;
    DWORD attributes = 0;
    DWORD error = ERROR_SUCCESS;
};

OpenedEntry openEntry(const std::wstring& path, DWORD access) noexcept
{
    OpenedEntry entry;
    entry.handle.reset(CreateFileW(path.c_str(), access, shareAll, nullptr, OPEN_EXISTING, noLinkFollowing, nullptr));
    if (!entry.handle) {
        entry.error = GetLastError();
        entry.kind = meansAbsent(entry.error) ? EntryKind::Absent : EntryKind::Unreadable;
        return entry;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(entry.handle.get(), FileAttributeTagInfo, &tag, sizeof(tag))) {
        entry.error = GetLastError();
        return entry;
    }
    entry.attributes = tag.FileAttributes;
    if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !finalPathIs(entry.handle.get(), path))
        entry.kind = EntryKind::Link;
    else
        entry.kind = (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::Folder : EntryKind::File;
    return entry;
}

bool markForDeletion(HANDLE handle) noexcept
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

RemovalResult removeVerified(const std::wstring& path, EntryKind expected) noexcept
{
    OpenedEntry entry = openEntry(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE);
    if (entry.kind == EntryKind::Absent) return {RemovalOutcome::Absent};
    if (entry.kind == EntryKind::Unreadable) return {RemovalOutcome::Refused, entry.error};
    if (entry.kind != expected) return {RemovalOutcome::NotOurs};
    if ((entry.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        FILE_BASIC_INFO basic{};
        if (GetFileInformationByHandleEx(entry.handle.get(), FileBasicInfo, &basic, sizeof(basic))) {
            basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
            if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
            SetFileInformationByHandle(entry.handle.get(), FileBasicInfo, &basic, sizeof(basic));
        }
    }
    if (!markForDeletion(entry.handle.get())) return {RemovalOutcome::Refused, GetLastError()};
    return {RemovalOutcome::Removed};
}

} // namespace

bool sameLocation(std::wstring_view a, std::wstring_view b) noexcept
{
    bool networkA = false;
    bool networkB = false;
    a = withoutTrailingSeparators(withoutDevicePrefix(a, networkA));
    b = withoutTrailingSeparators(withoutDevicePrefix(b, networkB));
    if (networkA != networkB || a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

EntryKind inspectEntry(const std::wstring& path) noexcept
{
    return openEntry(path, FILE_READ_ATTRIBUTES | SYNCHRONIZE).kind;
}

RemovalResult removeFileVerified(const std::wstring& path) noexcept { return removeVerified(path, EntryKind::File); }

RemovalResult removeEmptyFolderVerified(const std::wstring& path) noexcept
{
    return removeVerified(path, EntryKind::Folder);
}

ModuleUse moduleUse(const std::wstring& path) noexcept
{
    const OpenedEntry entry = openEntry(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE);
    if (entry.kind == EntryKind::Absent) return ModuleUse::Absent;
    // A read-only file refuses every open for writing, loaded or not: the attribute is
    // lifted through the handle for the probe and put back afterwards.
    FILE_BASIC_INFO original{};
    bool lifted = false;
    if (entry.kind == EntryKind::File && (entry.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        if (GetFileInformationByHandleEx(entry.handle.get(), FileBasicInfo, &original, sizeof(original))) {
            FILE_BASIC_INFO writable = original;
            writable.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
            if (writable.FileAttributes == 0) writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
            lifted = SetFileInformationByHandle(entry.handle.get(), FileBasicInfo, &writable, sizeof(writable)) != FALSE;
        }
        if (!lifted) return ModuleUse::ReadOnly;
    }
    // Exclusive, and asking for the right to write data: refused while any other
    // handle is open without sharing, and while the image is mapped by a loader.
    ModuleUse use = ModuleUse::Free;
    {
        UniqueFile exclusive(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!exclusive) use = meansAbsent(GetLastError()) ? ModuleUse::Absent : ModuleUse::InUse;
    }
    if (lifted) SetFileInformationByHandle(entry.handle.get(), FileBasicInfo, &original, sizeof(original));
    return use;
}

} // namespace elvara
