#pragma once
// How the programs open what they judge: sharing everything, never following a link;
// and whether two spellings, or an opened handle and a spelling, name one location.
#include <windows.h>

#include <string>
#include <string_view>

namespace elvara {

inline constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
inline constexpr DWORD noLinkFollowing = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;

// True when both name the same location (separators and ASCII letter case folded,
// a "\\?\" prefix ignored, "\\?\UNC\server\share" and "\\server\share" alike).
bool sameLocation(std::wstring_view a, std::wstring_view b) noexcept;

// True when the handle's final path is the expected location: a file link that
// reports no reparse attribute is told by its final path, which is its target's.
bool finalPathIs(HANDLE handle, std::wstring_view expected) noexcept;

// True when the opened handle is the entry that the path names, not what a link there
// leads to: it stands in the folder that the path's parent leads to, under the name
// that this folder lists for the path's last component. A link is a property of the
// file system, not of a spelling: a short (8.3) name, another letter case, forward
// slashes or a drive letter mapped onto a folder name the entry alike, while a file
// link (which Wine reports as a plain file) stands elsewhere or under another name.
bool isEntryNamedBy(HANDLE handle, const std::wstring& path) noexcept;

} // namespace elvara
