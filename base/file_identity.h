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
// or on the way leads to: the handle's final path is the path itself once it is spelt
// out in full (made full, each short 8.3 component replaced by the name its folder
// lists, a drive letter mapped onto a folder replaced by that folder). A link is a
// property of the file system, not of a spelling: a short name, another letter case,
// forward slashes, a relative path or a mapped drive name the entry alike, while a link
// anywhere on the path (a file link too, which Wine reports as a plain file) leads to
// a final path of its own.
bool isEntryNamedBy(HANDLE handle, const std::wstring& path) noexcept;

enum class LinkHandling { NeverFollowed, Followed };

// True when both paths, each opened (by default without following a link), are one file
// or folder (the same volume and file index), however each is spelt (a short name,
// another letter case); a link not followed is never the same entry as what it leads to.
bool isSameEntry(const std::wstring& a, const std::wstring& b,
                 LinkHandling links = LinkHandling::NeverFollowed) noexcept;
bool isSameEntry(HANDLE a, HANDLE b) noexcept;

// True when the link at path is an entry of its own, apart from what it leads to (the
// identity of the link opened without following differs from its target's), so that a
// rename of the path moves the link alone. False where the system gives the link the
// target's identity, or where either cannot be opened: renaming it could move the target.
bool isLinkApartFromItsTarget(const std::wstring& path) noexcept;

} // namespace elvara
