#include "unit/scratch_folder.h"

#include "base/unique_handle.h"
#include "install/filesystem_ops.h"
#include "package/crypto.h"
#include "package/text.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

namespace elvara::test {

namespace {

template <typename Visit>
void forEachChild(const std::wstring& folder, Visit visit)
{
    WIN32_FIND_DATAW found{};
    UniqueFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search) return;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") visit(name, found.dwFileAttributes);
    } while (FindNextFileW(search.get(), &found));
}

void snapshotInto(TreeSnapshot& snapshot, const std::wstring& root, const std::wstring& relative)
{
    const std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
    forEachChild(folder, [&](const std::wstring& name, DWORD attributes) {
        const std::wstring child = relative.empty() ? name : relative + L"\\" + name;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            snapshot[child] = "link";
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            snapshot[child] = "folder";
            snapshotInto(snapshot, root, child);
        } else {
            const std::string content = readFile(root + L"\\" + child);
            snapshot[child] = std::to_string(content.size()) + ":" +
                              toLowerHex(sha256Digest({reinterpret_cast<const std::uint8_t*>(content.data()),
                                                       content.size()}));
        }
    });
}

} // namespace

ScratchFolder::ScratchFolder()
{
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"elvara-test-" + utf8ToWide(toLowerHex(randomBytes(8)));
    removeTree(path_);
    makeFolders(path_);
}

ScratchFolder::~ScratchFolder() { removeTree(path_); }

TreeSnapshot snapshotTree(const std::wstring& root)
{
    TreeSnapshot snapshot;
    snapshotInto(snapshot, root, L"");
    return snapshot;
}

void removeTree(const std::wstring& root)
{
    const DWORD attributes = GetFileAttributesW(root.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        forEachChild(root, [&](const std::wstring& name, DWORD) { removeTree(root + L"\\" + name); });
        RemoveDirectoryW(root.c_str());
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryW(root.c_str()); // the link, never its target
    } else {
        SetFileAttributesW(root.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(root.c_str());
    }
}

void writeFile(const std::wstring& path, const std::string& content)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw std::runtime_error("test could not create a file");
    DWORD written = 0;
    WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
}

std::string readFile(const std::wstring& path)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return "<unreadable>";
    std::string content;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) content.append(buffer, read);
    return content;
}

void makeFolders(const std::wstring& path) { createDirectories(path); }

std::vector<std::wstring> folderNames(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    forEachChild(folder, [&](const std::wstring& name, DWORD) { names.push_back(name); });
    std::sort(names.begin(), names.end());
    return names;
}

TreeSnapshot filesOnly(const TreeSnapshot& snapshot)
{
    TreeSnapshot files;
    for (const auto& [name, kind] : snapshot)
        if (kind != "folder") files[name] = kind;
    return files;
}

std::string contentSnapshot(const std::string& content)
{
    return std::to_string(content.size()) + ":" +
           toLowerHex(sha256Digest({reinterpret_cast<const std::uint8_t*>(content.data()), content.size()}));
}

InstallLocations locationsIn(const ScratchFolder& scratch)
{
    makeFolders(scratch / L"Common Files\\VST3");
    makeFolders(scratch / L"Program Files");
    return {scratch / L"Common Files\\VST3\\ElvaraSound.vst3", scratch / L"Program Files\\ElvaraSound"};
}

std::vector<std::wstring> workingFolders(const ScratchFolder& scratch)
{
    std::vector<std::wstring> found;
    // Where working folders are made, and (for the bundle) where earlier versions made them.
    for (const std::wstring& parent : {scratch / L"Common Files", scratch / L"Common Files\\VST3", scratch / L"Program Files"})
        for (const std::wstring& name : folderNames(parent))
            if (name.find(L".install-") != std::wstring::npos || name.find(L".rollback-") != std::wstring::npos)
                found.push_back(name);
    return found;
}

} // namespace elvara::test
