#include "install/verified_removal.h"

#include "base/file_identity.h"
#include "base/path_text.h"
#include "base/unique_handle.h"
#include "install/recorded_bytes.h"

#include <vector>

namespace elvara {

namespace {

bool meansAbsent(DWORD error) noexcept
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

struct OpenedEntry {
    UniqueFile handle;
    EntryKind kind = EntryKind::Unreadable;
    DWORD attributes = 0;
    DWORD error = ERROR_SUCCESS;
};

OpenedEntry openEntry(const std::wstring& path, DWORD access, DWORD share = shareAll) noexcept
{
    OpenedEntry entry;
    std::wstring extended;
    try {
        extended = extendedLengthPath(path);
    } catch (...) {
        entry.error = ERROR_OUTOFMEMORY;
        return entry;
    }
    entry.handle.reset(CreateFileW(extended.c_str(), access, share, nullptr, OPEN_EXISTING, noLinkFollowing, nullptr));
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
    if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !isEntryNamedBy(entry.handle.get(), extended))
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

RemovalResult removeVerified(const std::wstring& path, EntryKind expected, const RecordedFile* expectedBytes) noexcept
{
    // Checking bytes: read access, and no writer may share the handle until it is closed.
    OpenedEntry entry = expectedBytes
                            ? openEntry(path, DELETE | FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                                        FILE_SHARE_READ)
                            : openEntry(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE);
    if (entry.kind == EntryKind::Absent) return {RemovalOutcome::Absent};
    if (entry.kind == EntryKind::Unreadable) return {RemovalOutcome::Refused, entry.error};
    if (entry.kind != expected) return {RemovalOutcome::NotOurs};
    if (expectedBytes && !holdsRecordedBytes(entry.handle.get(), *expectedBytes)) return {RemovalOutcome::NotOurs};
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

EntryKind inspectEntry(const std::wstring& path) noexcept
{
    return openEntry(path, FILE_READ_ATTRIBUTES | SYNCHRONIZE).kind;
}

RemovalResult removeFileVerified(const std::wstring& path) noexcept
{
    return removeVerified(path, EntryKind::File, nullptr);
}

RemovalResult removeFileIfUnchanged(const std::wstring& path, const RecordedFile& expected) noexcept
{
    return removeVerified(path, EntryKind::File, &expected);
}

RemovalResult removeEmptyFolderVerified(const std::wstring& path) noexcept
{
    return removeVerified(path, EntryKind::Folder, nullptr);
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
    try {
        UniqueFile exclusive(CreateFileW(extendedLengthPath(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!exclusive) use = meansAbsent(GetLastError()) ? ModuleUse::Absent : ModuleUse::InUse;
    } catch (...) {
        use = ModuleUse::InUse;
    }
    if (lifted) SetFileInformationByHandle(entry.handle.get(), FileBasicInfo, &original, sizeof(original));
    return use;
}

} // namespace elvara
