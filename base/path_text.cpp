#include "base/path_text.h"

namespace elvara {

namespace {

bool isDriveLetter(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Length of the root name and whether it makes the path absolute on its own.
std::size_t rootNameLength(std::wstring_view path, bool& networkOrDevice) noexcept
{
    networkOrDevice = false;
    if (path.size() >= 2 && isDriveLetter(path[0]) && path[1] == L':') return 2;
    const auto sep = [&](std::size_t i) { return i < path.size() && isPathSeparator(path[i]); };
    // Device prefixes, each only when a separator follows: \\?  \\.  \??
    if (sep(0) && sep(1) && path.size() > 2 && (path[2] == L'?' || path[2] == L'.') && sep(3)) {
        networkOrDevice = true;
        return 3;
    }
    if (sep(0) && path.size() > 2 && path[1] == L'?' && path[2] == L'?' && sep(3)) {
        networkOrDevice = true;
        return 3;
    }
    // Network root: two separators and a server name up to the next separator.
    if (sep(0) && sep(1) && path.size() > 2 && !sep(2)) {
        std::size_t end = 2;
        while (end < path.size() && !isPathSeparator(path[end])) ++end;
        networkOrDevice = true;
        return end;
    }
    return 0;
}

} // namespace

bool isPathSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

LexedPath lexPath(std::wstring_view path)
{
    LexedPath lexed;
    bool networkOrDevice = false;
    std::size_t position = rootNameLength(path, networkOrDevice);
    const bool drive = position == 2 && !networkOrDevice;
    const std::size_t nameEnd = position;
    while (position < path.size() && isPathSeparator(path[position])) ++position;
    lexed.root.assign(path.substr(0, position));
    lexed.absolute = networkOrDevice || (drive && position > nameEnd);
    while (position < path.size()) {
        std::size_t end = position;
        while (end < path.size() && !isPathSeparator(path[end])) ++end;
        lexed.components.emplace_back(path.substr(position, end - position));
        position = end;
        while (position < path.size() && isPathSeparator(path[position])) ++position;
    }
    return lexed;
}

std::wstring appendPath(std::wstring_view folder, std::wstring_view relative)
{
    std::wstring joined(folder);
    if (!joined.empty() && !isPathSeparator(joined.back())) joined.push_back(L'\\');
    joined.append(relative);
    return joined;
}

std::wstring parentPath(std::wstring_view path)
{
    std::size_t end = path.size();
    while (end > 0 && isPathSeparator(path[end - 1])) --end;
    while (end > 0 && !isPathSeparator(path[end - 1])) --end;
    while (end > 0 && isPathSeparator(path[end - 1])) --end;
    return std::wstring(path.substr(0, end));
}

std::wstring extendedLengthPath(std::wstring_view path)
{
    const auto sep = [&](std::size_t i) { return i < path.size() && isPathSeparator(path[i]); };
    const bool prefixed = sep(0) && path.size() > 2 && (path[1] == L'?' || isPathSeparator(path[1])) &&
                          (path[2] == L'?' || path[2] == L'.') && sep(3);
    if (prefixed) return std::wstring(path);
    const LexedPath lexed = lexPath(path);
    if (!lexed.absolute) return std::wstring(path);
    std::wstring extended;
    std::size_t kept = 0; // components that ".." may not climb above: the share of a network path
    if (path.size() >= 2 && path[1] == L':') {
        extended = L"\\\\?\\";
        extended += path.substr(0, 2);
    } else {
        extended = L"\\\\?\\UNC\\";
        extended.append(lexed.root.begin() + 2, lexed.root.end());
        while (!extended.empty() && isPathSeparator(extended.back())) extended.pop_back();
        kept = 1;
    }
    std::vector<std::wstring_view> names;
    for (const std::wstring& component : lexed.components) {
        if (component == L".") continue;
        if (component == L"..") {
            if (names.size() > kept) names.pop_back();
            continue;
        }
        names.push_back(component);
    }
    for (const std::wstring_view name : names) {
        extended += L'\\';
        extended += name;
    }
    if (names.empty()) extended += L'\\';
    return extended;
}

} // namespace elvara
