#include "install/install_record.h"

#include "base/product.h"
#include "base/unique_handle.h"
#include "install/path_safety.h"
#include "install/path_text.h"
#include "install/verified_removal.h"
#include "package/crypto.h"
#include "package/package_format.h"
#include "package/text.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace elvara {

namespace {

constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string_view recordName(PackageTree tree) noexcept
{
    return tree == PackageTree::Bundle ? package_format::bundleRecordName : package_format::productRecordName;
}

// The file's bytes compared with a recorded size and digest, through a handle that
// does not follow links.
bool matches(const std::wstring& path, const RecordedFile& recorded) noexcept
{
    try {
        if (inspectEntry(path) != EntryKind::File) return false;
        UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, shareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        // A holder that shares nothing hides the bytes: the file stays the recorded one,
        // and whoever removes or moves it meets the holder and says so.
        if (!file && (GetLastError() == ERROR_SHARING_VIOLATION || GetLastError() == ERROR_LOCK_VIOLATION))
            return true;
        LARGE_INTEGER size{};
        if (!file || !GetFileSizeEx(file.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) != recorded.size)
            return false;
        // Read, not mapped: a file that another program shortens meanwhile must give a
        // mismatch, not a fault in a mapped view.
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(recorded.size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD read = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
            if (!ReadFile(file.get(), bytes.data() + done, chunk, &read, nullptr) || read == 0) return false;
            done += read;
        }
        const std::vector<std::uint8_t> digest = sha256Digest({bytes.data(), bytes.size()});
        return digest.size() == recorded.sha256.size() &&
               std::equal(digest.begin(), digest.end(), recorded.sha256.begin());
    } catch (...) {
        return false;
    }
}

} // namespace

std::wstring relativePathKey(const std::wstring& relative)
{
    std::wstring key;
    for (const std::wstring& component : lexPath(relative).components) {
        if (!key.empty()) key += L'\\';
        for (wchar_t c : component) key += c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    }
    return key;
}

std::wstring installRecordRelativePath(PackageTree tree)
{
    std::wstring relative = treeRelativePath(recordName(tree));
    std::replace(relative.begin(), relative.end(), L'/', L'\\');
    return relative;
}

std::wstring installRecordPath(const std::wstring& root, PackageTree tree)
{
    return appendPath(root, installRecordRelativePath(tree));
}

InstallRecord installRecordOf(const std::vector<PackageEntry>& entries, PackageTree tree)
{
    InstallRecord record{std::string(product::version), {}};
    for (const PackageEntry& entry : entries) {
        if (treeOf(entry.name) != tree) continue;
        RecordedFile file{entry.name, entry.data.length, {}};
        std::copy_n(entry.sha256.begin(), std::min(entry.sha256.size(), file.sha256.size()), file.sha256.begin());
        record.files.push_back(std::move(file));
    }
    return record;
}

std::optional<InstallRecord> readInstallRecord(const std::wstring& root, PackageTree tree) noexcept
{
    try {
        const std::wstring path = installRecordPath(root, tree);
        if (inspectEntry(path) != EntryKind::File) return std::nullopt;
        UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, shareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        LARGE_INTEGER size{};
        if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
            size.QuadPart > static_cast<LONGLONG>(maximumRecordSize))
            return std::nullopt;
        std::string text(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        if (!ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr) || read != text.size())
            return std::nullopt;
        std::optional<InstallRecord> record = parseInstallRecord(text);
        if (record && std::any_of(record->files.begin(), record->files.end(),
                                  [tree](const RecordedFile& file) { return treeOf(file.name) != tree; }))
            return std::nullopt;
        return record;
    } catch (...) {
        return std::nullopt;
    }
}

TreeOwnership::TreeOwnership(std::wstring root, PackageTree tree, const std::vector<std::string>& fallbackNames,
                             Proof proof)
    : root_(std::move(root)), proof_(proof), record_(readInstallRecord(root_, tree))
{
    const auto list = [this](std::string_view name, std::optional<RecordedFile> recorded) {
        const std::wstring relative = treeRelativePath(name);
        listed_[relativePathKey(relative)] = Listed{relative, std::move(recorded), std::nullopt};
    };
    if (record_) {
        for (const RecordedFile& file : record_->files) list(file.name, file);
    } else {
        for (const std::string& name : fallbackNames)
            if (treeOf(name) == tree) list(name, std::nullopt);
    }
    list(recordName(tree), std::nullopt); // the record itself, whatever it holds
}

TreeOwnership TreeOwnership::claiming(std::wstring root, const std::vector<std::wstring>& relativeFiles)
{
    TreeOwnership ownership(std::move(root), Proof::NameOnly);
    for (const std::wstring& relative : relativeFiles)
        ownership.listed_[relativePathKey(relative)] = Listed{relative, std::nullopt, std::nullopt};
    return ownership;
}

bool TreeOwnership::isOurs(const std::wstring& relative) const
{
    const auto found = listed_.find(relativePathKey(relative));
    if (found == listed_.end()) return false;
    const Listed& listed = found->second;
    if (!listed.verdict) {
        const std::wstring path = appendPath(root_, listed.relative);
        listed.verdict = listed.recorded && proof_ == Proof::Digest ? matches(path, *listed.recorded)
                                                                    : inspectEntry(path) == EntryKind::File;
    }
    return *listed.verdict;
}

bool TreeOwnership::listsAnythingBelow(const std::wstring& relativeFolder) const
{
    const std::wstring prefix = relativePathKey(relativeFolder) + L'\\';
    const auto next = listed_.lower_bound(prefix);
    return next != listed_.end() && next->first.starts_with(prefix);
}

std::vector<std::wstring> TreeOwnership::ownedFiles() const
{
    std::vector<std::wstring> owned;
    for (const auto& [key, listed] : listed_)
        if (isOurs(listed.relative)) owned.push_back(listed.relative);
    return owned;
}

} // namespace elvara
