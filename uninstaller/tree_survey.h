#pragma once
// What one install folder holds, found without changing anything: the package's
// files, what someone else put there, and whatever makes removal unsafe (a link,
// a foreign or busy marker, a file in use). Every entry is judged through a handle
// opened without following links.
#include <optional>
#include <string>
#include <vector>

namespace elvara {

// Where the package puts its files in one install folder. Paths are full, with "\"
// separators.
struct TreeLayout {
    std::wstring folder;
    std::wstring marker;
    std::wstring record;
    std::vector<std::wstring> packageFiles; // the files of ours, whatever their state; the marker and record among them
    std::vector<std::wstring> executables;  // package files that a process may have loaded
    std::wstring pluginModule;              // among them, the plug-in (empty for the product folder)
};

struct TreeSurvey {
    bool present = false;       // the install folder exists
    bool markerIsExact = false; // the marker holds exactly the marker line
    bool holdsNoFiles = false;  // present, with nothing but empty folders in it: nobody's, so removable
    std::vector<std::wstring> packageFiles;   // found, the marker and record among them
    std::vector<std::wstring> packageFolders; // existing folders on the way to package files, deepest first, the install folder last
    std::vector<std::wstring> userFiles;      // files, folders and links that the package does not name
    std::optional<std::wstring> refusal;      // why nothing may be removed, as the user reads it
};

// Walks the whole tree, never through a link. A link where the package puts a file
// or a folder, an entry that cannot be examined, or package files beside a marker
// that is missing or altered give a refusal; a link anywhere else is the user's item.
TreeSurvey surveyTree(const TreeLayout& layout);

// The check before removal: a package file that another process holds (a loaded
// module among them) gives a refusal. The file at skipped (the running uninstaller)
// is not probed. Changes nothing that stays changed.
std::optional<std::wstring> refusalForFilesInUse(const TreeLayout& layout, const TreeSurvey& survey,
                                                 const std::wstring& skipped);

bool isOneOf(const std::wstring& path, const std::vector<std::wstring>& paths) noexcept;

} // namespace elvara
