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

} // namespace elvara
