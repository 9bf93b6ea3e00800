#include "base/file_identity.h"

#include "base/path_text.h"
#include "base/unique_handle.h"

#include <winternl.h>

#include <cstdint>
#include <vector>

namespace elvara {

namespace {

std::wstring backslashed(std::wstring_view path)
{
    std::wstring text(path);
    for (wchar_t& c : text)
        if (c == L'/') c = L'\\';
    return text;
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

// The result of a call that fills a buffer and answers the length it needs.
template <typename Call>
std::wstring filledBy(Call call, const std::wstring& input)
{
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = call(input.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::wstring();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(length + 1);
    }
    return std::wstring();
}

constexpr int objectNameInformation = 1;
constexpr std::wstring_view extendedPrefix = L"\\\\?\\";

// An NT path ("\\??\\C:\\...") as the same path in extended-length form, which Win32 takes.
std::wstring withExtendedPrefix(const std::wstring& path)
{
    return path.starts_with(L"\\??\\") ? std::wstring(extendedPrefix) + path.substr(4) : path;
}

// The path as the file system names it without following anything: full, a drive letter
// mapped onto a folder (subst) replaced by that folder, and every component, a short
// (8.3) one included, replaced by the name its folder lists (a link keeps its own name).
// Each component is looked up in extended-length form, so that names with a trailing dot
// or space and device names such as CON.txt are found as they are.
std::wstring spelledInFull(const std::wstring& path)
{
    // A path in extended-length form is full as it stands; any other is made full the
    // way the system reads it (a trailing dot dropped, "." and ".." resolved).
    const bool extended = path.starts_with(extendedPrefix) || path.starts_with(L"\\??\\");
    const std::wstring full =
        extended ? path
                 : filledBy([](LPCWSTR in, LPWSTR out, DWORD size) { return GetFullPathNameW(in, size, out, nullptr); },
                            path);
    if (full.empty() || full.starts_with(L"\\\\.\\")) return std::wstring();
    std::wstring spelled = backslashed(extendedLengthPath(withExtendedPrefix(full)));

    const std::size_t afterPrefix = extendedPrefix.size();
    if (spelled.size() >= afterPrefix + 2 && spelled[afterPrefix + 1] == L':') {
        wchar_t device[MAX_PATH + 1] = {};
        const wchar_t drive[] = {spelled[afterPrefix], L':', L'\0'};
        if (QueryDosDeviceW(drive, device, MAX_PATH) != 0 && std::wstring_view(device).starts_with(L"\\??\\"))
            spelled = std::wstring(extendedPrefix) + (device + 4) + spelled.substr(afterPrefix + 2);
    }

    // The root keeps its spelling: "\\?\C:\", or "\\?\UNC\server\share\".
    std::size_t rootEnd = spelled.find(L'\\', afterPrefix);
    if (rootEnd != std::wstring::npos && spelled.compare(afterPrefix, 4, L"UNC\\") == 0) {
        rootEnd = spelled.find(L'\\', afterPrefix + 4);
        if (rootEnd != std::wstring::npos) rootEnd = spelled.find(L'\\', rootEnd + 1);
    }
    if (rootEnd == std::wstring::npos) return spelled;
    std::wstring named = spelled.substr(0, rootEnd + 1);
    std::size_t position = rootEnd + 1;
    while (position < spelled.size()) {
        std::size_t end = spelled.find(L'\\', position);
        if (end == std::wstring::npos) end = spelled.size();
        if (end > position) {
            const std::wstring asGiven = named + spelled.substr(position, end - position);
            WIN32_FIND_DATAW found{};
            const UniqueFindHandle search(
                FindFirstFileExW(asGiven.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
            if (!search) return std::wstring();
            named += found.cFileName;
            if (end < spelled.size()) named += L'\\';
        }
        position = end + 1;
    }
    return named;
}

// The handle's final path, in DOS form. Wine names the object in DOS form and has no room
// in GetFinalPathNameByHandleW for a path beyond 260 characters; Windows names it on its
// device, so there the function is asked.
struct FinalPath {
    std::wstring path;
    bool namedByWine = false; // the object's own name in DOS form, which only Wine gives
};

FinalPath finalPathOf(HANDLE handle)
{
    std::vector<std::uint8_t> name(sizeof(UNICODE_STRING) + 0x10000 * sizeof(wchar_t));
    ULONG length = 0;
    if (NtQueryObject(handle, static_cast<OBJECT_INFORMATION_CLASS>(objectNameInformation), name.data(),
                      static_cast<ULONG>(name.size()), &length) >= 0) {
        const auto* text = reinterpret_cast<const UNICODE_STRING*>(name.data());
        const std::wstring_view found(text->Buffer, text->Length / sizeof(wchar_t));
        if (found.starts_with(L"\\??\\")) return {std::wstring(found), true};
    }
    return {filledBy(
                [handle](LPCWSTR, LPWSTR out, DWORD size) {
                    return GetFinalPathNameByHandleW(handle, out, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
                },
                std::wstring()),
            false};
}

// Each name of the path without its trailing dots and spaces.
std::wstring withoutTrailingDotsOfNames(std::wstring_view path)
{
    std::wstring trimmed;
    for (const wchar_t c : path) {
        if (c == L'\\' || c == L'/')
            while (!trimmed.empty() && (trimmed.back() == L'.' || trimmed.back() == L' ')) trimmed.pop_back();
        trimmed.push_back(c);
    }
    while (!trimmed.empty() && (trimmed.back() == L'.' || trimmed.back() == L' ')) trimmed.pop_back();
    return trimmed;
}

UniqueFile openedWithoutFollowing(const std::wstring& path)
{
    return UniqueFile(
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, shareAll, nullptr, OPEN_EXISTING, noLinkFollowing, nullptr));
}

bool sameIdentity(HANDLE a, HANDLE b) noexcept
{
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

// Whether the path, opened without following a link, is surely not the file the handle
// holds: nothing is there, or another file is. Any other failure proves nothing.
bool leadsElsewhere(const std::wstring& path, HANDLE handle)
{
    const UniqueFile other = openedWithoutFollowing(withExtendedPrefix(path));
    if (!other) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    return GetFileInformationByHandle(other.get(), &information) && !sameIdentity(handle, other.get());
}

} // namespace

bool isSameEntry(const std::wstring& a, const std::wstring& b, LinkHandling links) noexcept
{
    try {
        const auto opened = [links](const std::wstring& path) {
            if (links == LinkHandling::NeverFollowed) return openedWithoutFollowing(path);
            return UniqueFile(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, shareAll, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        };
        const UniqueFile first = opened(a);
        const UniqueFile second = opened(b);
        return first && second && sameIdentity(first.get(), second.get());
    } catch (...) {
        return false;
    }
}

bool isSameEntry(HANDLE a, HANDLE b) noexcept { return sameIdentity(a, b); }

bool isLinkApartFromItsTarget(const std::wstring& path) noexcept
{
    try {
        const std::wstring extended = extendedLengthPath(path);
        const UniqueFile link = openedWithoutFollowing(extended);
        const UniqueFile target(CreateFileW(extended.c_str(), FILE_READ_ATTRIBUTES, shareAll, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return link && target && !sameIdentity(link.get(), target.get());
    } catch (...) {
        return false;
    }
}

bool sameLocation(std::wstring_view a, std::wstring_view b) noexcept
{
    bool networkA = false;
    bool networkB = false;
    a = withoutTrailingSeparators(withoutDevicePrefix(a, networkA));
    b = withoutTrailingSeparators(withoutDevicePrefix(b, networkB));
    if (networkA != networkB || a.size() != b.size()) return false;
    try {
        // Letter case as the file system folds it, beyond ASCII too.
        const std::wstring first = backslashed(a);
        const std::wstring second = backslashed(b);
        return CompareStringOrdinal(first.data(), static_cast<int>(first.size()), second.data(),
                                    static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
    } catch (...) {
        return false;
    }
}

bool finalPathIs(HANDLE handle, std::wstring_view expected) noexcept
{
    try {
        const std::wstring final = finalPathOf(handle).path;
        return !final.empty() && sameLocation(final, expected);
    } catch (...) {
        return false;
    }
}

bool isEntryNamedBy(HANDLE handle, const std::wstring& path) noexcept
{
    try {
        const FinalPath final = finalPathOf(handle);
        if (final.path.empty()) return false;
        if (sameLocation(final.path, path)) return true; // spelt as the file system spells it
        const std::wstring spelledOut = spelledInFull(path);
        if (spelledOut.empty()) return false;
        if (sameLocation(final.path, spelledOut)) return true;
        // Wine leaves a name's trailing dots and spaces out of the final path (Windows keeps
        // them). Such a path may still be where a link leads: it passes only when it surely
        // leads elsewhere and the handle's name did not change meanwhile.
        return final.namedByWine &&
               sameLocation(withoutTrailingDotsOfNames(final.path), withoutTrailingDotsOfNames(spelledOut)) &&
               leadsElsewhere(final.path, handle) && finalPathOf(handle).path == final.path;
    } catch (...) {
        return false;
    }
}

} // namespace elvara
