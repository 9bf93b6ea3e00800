#include "base/file_identity.h"

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

std::wstring finalPathOf(HANDLE handle)
{
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(length + 1);
    }
    return {};
}

// Everything before the last separator, and after it.
std::pair<std::wstring, std::wstring> splitLast(const std::wstring& path)
{
    std::size_t end = path.size();
    while (end > 0 && (path[end - 1] == L'\\' || path[end - 1] == L'/')) --end;
    const std::size_t separator = path.find_last_of(L"\\/", end == 0 ? 0 : end - 1);
    if (separator == std::wstring::npos) return {};
    std::wstring parent = path.substr(0, separator);
    if (!parent.empty() && parent.back() == L':') parent += L'\\'; // a drive's root
    return {parent, path.substr(separator + 1, end - separator - 1)};
}

bool sameName(std::wstring_view a, std::wstring_view b) noexcept
{
    return a.size() == b.size() && CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                                        static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

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

bool isEntryNamedBy(HANDLE handle, const std::wstring& path) noexcept
{
    try {
        if (finalPathIs(handle, path)) return true; // spelt as the file system spells it
        const std::wstring final = finalPathOf(handle);
        const auto [spelledParent, spelledLeaf] = splitLast(path);
        const auto [finalParent, finalLeaf] = splitLast(final);
        if (spelledParent.empty() || finalParent.empty()) return false;
        const HANDLE parent = CreateFileW(spelledParent.c_str(), FILE_READ_ATTRIBUTES, shareAll, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (parent == INVALID_HANDLE_VALUE) return false;
        const std::wstring parentFinal = finalPathOf(parent);
        CloseHandle(parent);
        if (parentFinal.empty() || !sameLocation(parentFinal, finalParent)) return false;
        // The name that the folder lists for the spelled leaf (its long name, when a short one was given).
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileExW(path.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
        if (search == INVALID_HANDLE_VALUE) return false;
        FindClose(search);
        return sameName(found.cFileName, finalLeaf);
    } catch (...) {
        return false;
    }
}

} // namespace elvara
