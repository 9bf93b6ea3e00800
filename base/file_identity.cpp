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

// The path as the file system names it without following anything: full, every short
// (8.3) component replaced by the name its folder lists (a link keeps its own name), and
// a drive letter mapped onto a folder (subst) replaced by that folder.
std::wstring spelledInFull(const std::wstring& path)
{
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    const auto call = [&buffer](auto function, const std::wstring& input) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            const DWORD length = function(input.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
            if (length == 0) return std::wstring();
            if (length < buffer.size()) return std::wstring(buffer.data(), length);
            buffer.resize(length + 1);
        }
        return std::wstring();
    };
    const std::wstring full =
        call([](LPCWSTR in, LPWSTR out, DWORD size) { return GetFullPathNameW(in, size, out, nullptr); }, path);
    std::wstring spelled = full.empty() ? std::wstring() : call(GetLongPathNameW, full);
    if (spelled.size() >= 2 && spelled[1] == L':') {
        wchar_t device[MAX_PATH + 1] = {};
        const wchar_t drive[] = {spelled[0], L':', L'\0'};
        if (QueryDosDeviceW(drive, device, MAX_PATH) != 0 && std::wstring_view(device).starts_with(L"\\??\\"))
            spelled = std::wstring(device + 4) + spelled.substr(2);
    }
    return spelled;
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
        const std::wstring spelledOut = spelledInFull(path);
        return !spelledOut.empty() && finalPathIs(handle, spelledOut);
    } catch (...) {
        return false;
    }
}

} // namespace elvara
