#pragma once
// A fresh folder per test under the temporary folder, removed before and after,
// and snapshots of folder trees (names, sizes, SHA-256) to prove "nothing changed".
#include "install/install_locations.h"

#include <map>
#include <string>
#include <vector>

namespace elvara::test {

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& relative) const { return path_ + L"\\" + relative; }

private:
    std::wstring path_;
};

// Relative path -> "folder", or "size:sha256" for a file. Links are listed, not followed.
using TreeSnapshot = std::map<std::wstring, std::string>;
TreeSnapshot snapshotTree(const std::wstring& root);

void removeTree(const std::wstring& root);
void writeFile(const std::wstring& path, const std::string& content);
std::string readFile(const std::wstring& path);
void makeFolders(const std::wstring& path);
// Names directly inside a folder, sorted.
std::vector<std::wstring> folderNames(const std::wstring& folder);

// Only the files of a snapshot; and the snapshot value of a file with this content.
TreeSnapshot filesOnly(const TreeSnapshot& snapshot);
std::string contentSnapshot(const std::string& content);

// Install folders inside the scratch folder, with their standard parents made (on a
// real machine they exist; nothing ever removes them).
InstallLocations locationsIn(const ScratchFolder& scratch);
// The names of the working folders of the install folders of locationsIn, where they are
// made and where earlier versions made them.
std::vector<std::wstring> workingFolders(const ScratchFolder& scratch);

} // namespace elvara::test
