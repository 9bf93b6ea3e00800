#include "install/ownership.h"

#include "base/file_identity.h"
#include "base/path_text.h"
#include "base/product.h"
#include "base/unique_handle.h"
#include "install/path_safety.h"
#include "install/recorded_bytes.h"
#include "install/verified_removal.h"
#include "package/crypto.h"
#include "package/text.h"

#include <algorithm>
#include <cstring>

namespace elvara {

namespace {

constexpr std::wstring_view stagingInfix = L".install-";
constexpr std::wstring_view rollbackInfix = L".rollback-";
constexpr std::size_t tokenDigits = 16;

std::wstring backslashed(std::wstring relative)
{
    std::replace(relative.begin(), relative.end(), L'/', L'\\');
    return relative;
}

std::string_view recordName(PackageTree tree) noexcept
{
    return tree == PackageTree::Bundle ? package_format::bundleRecordName : package_format::productRecordName;
}

std::string_view runNoteName(PackageTree tree) noexcept
{
    return tree == PackageTree::Bundle ? package_format::bundleRunNoteName : package_format::productRunNoteName;
}

constexpr std::string_view runNoteHeader = "ElvaraSound run ";
constexpr std::string_view carriedPrefix = "carried ";
constexpr std::size_t maximumRunNoteSize = 16u << 20;

std::string_view markerName(PackageTree tree) noexcept
{
    return tree == PackageTree::Bundle ? package_format::bundleMarkerName : package_format::productMarkerName;
}

bool meansInUse(DWORD error) noexcept { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

// The file's bytes compared with an expected size and digest, through a handle that
// does not follow links.
bool matches(const std::wstring& path, const RecordedFile& expected) noexcept
{
    try {
        if (inspectEntry(path) != EntryKind::File) return false;
        UniqueFile file(CreateFileW(extendedLengthPath(path).c_str(), GENERIC_READ, shareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        // A holder that shares nothing hides the bytes: the file stays the expected one,
        // and whoever removes or moves it meets the holder and says so; nothing is
        // deleted without its bytes read again through the deleting handle.
        if (!file && meansInUse(GetLastError())) return true;
        return file && holdsRecordedBytes(file.get(), expected);
    } catch (...) {
        return false;
    }
}

// A file's whole content, read without following a link; nothing when it is not a
// plain file, is empty, or is longer than maximum.
std::optional<std::string> readSmallFile(const std::wstring& path, std::size_t maximum)
{
    if (inspectEntry(path) != EntryKind::File) return std::nullopt;
    UniqueFile file(CreateFileW(extendedLengthPath(path).c_str(), GENERIC_READ, shareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
        size.QuadPart > static_cast<LONGLONG>(maximum))
        return std::nullopt;
    std::string text(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr) || read != text.size())
        return std::nullopt;
    return text;
}

bool isToken(std::wstring_view text) noexcept
{
    return text.size() == tokenDigits && std::all_of(text.begin(), text.end(), [](wchar_t c) {
               return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
           });
}

// True when everything below folder is a real folder or one of the allowed files.
bool holdsOnly(const std::wstring& folder, const std::vector<std::wstring>& allowed)
{
    if (inspectEntry(folder) != EntryKind::Folder) return false;
    for (const std::wstring& name : folderEntryNames(folder)) {
        const std::wstring path = appendPath(folder, name);
        const EntryKind kind = inspectEntry(path);
        if (kind == EntryKind::Folder) {
            if (!holdsOnly(path, allowed)) return false;
        } else if (kind != EntryKind::File ||
                   std::none_of(allowed.begin(), allowed.end(),
                                [&](const std::wstring& file) { return sameLocation(file, path); })) {
            return false;
        }
    }
    return true;
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

std::wstring packageFilePath(const std::wstring& root, std::string_view packageName)
{
    return appendPath(root, backslashed(treeRelativePath(packageName)));
}

std::wstring markerRelativePath(PackageTree tree) { return backslashed(treeRelativePath(markerName(tree))); }

std::wstring markerPath(const std::wstring& root, PackageTree tree) { return appendPath(root, markerRelativePath(tree)); }

std::wstring installRecordRelativePath(PackageTree tree) { return backslashed(treeRelativePath(recordName(tree))); }

std::wstring installRecordPath(const std::wstring& root, PackageTree tree)
{
    return appendPath(root, installRecordRelativePath(tree));
}

std::wstring runNoteRelativePath(PackageTree tree) { return backslashed(treeRelativePath(runNoteName(tree))); }

std::wstring runNotePath(const std::wstring& root, PackageTree tree) { return appendPath(root, runNoteRelativePath(tree)); }

bool isProofOfOwnership(PackageTree tree, const std::wstring& relative)
{
    const std::wstring key = relativePathKey(relative);
    return key == relativePathKey(markerRelativePath(tree)) || key == relativePathKey(installRecordRelativePath(tree)) ||
           key == relativePathKey(runNoteRelativePath(tree));
}

MarkerState readMarker(const std::wstring& path) noexcept
{
    const EntryKind kind = inspectEntry(path);
    if (kind == EntryKind::Absent) return {MarkerCheck::Absent};
    if (kind == EntryKind::Link || kind == EntryKind::Folder) return {MarkerCheck::Foreign};
    UniqueFile marker(CreateFileW(extendedLengthPath(path).c_str(), GENERIC_READ, shareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!marker) {
        const DWORD error = GetLastError();
        return {meansInUse(error) ? MarkerCheck::InUse : MarkerCheck::Unreadable, error};
    }
    // Only a file no longer than the marker line can match, so nothing longer is read.
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(marker.get(), &size)) return {MarkerCheck::Unreadable, GetLastError()};
    if (size.QuadPart < 0 || size.QuadPart > static_cast<LONGLONG>(ownershipMarkerLine.size()))
        return {MarkerCheck::Foreign};
    char content[64] = {};
    DWORD read = 0;
    if (!ReadFile(marker.get(), content, static_cast<DWORD>(size.QuadPart), &read, nullptr)) {
        const DWORD error = GetLastError();
        return {meansInUse(error) ? MarkerCheck::InUse : MarkerCheck::Unreadable, error};
    }
    if (read != static_cast<DWORD>(size.QuadPart) || std::memcmp(content, ownershipMarkerLine.data(), read) != 0)
        return {MarkerCheck::Foreign};
    return {read == ownershipMarkerLine.size() ? MarkerCheck::Exact : MarkerCheck::CutShort};
}

bool isOwnedFolder(const std::wstring& folder, PackageTree tree)
{
    const std::wstring marker = markerPath(folder, tree);
    ensureSafeInstallPath(marker);
    return readMarker(marker).check == MarkerCheck::Exact;
}

InstallRecord installRecordOf(const std::vector<PackageEntry>& entries, PackageTree tree)
{
    InstallRecord record{std::string(product::version), {}};
    for (const PackageEntry& entry : entries) {
        if (treeOf(entry.name) != tree) continue;
        RecordedFile file{entry.name, entry.size, {}};
        std::copy_n(entry.sha256.begin(), std::min(entry.sha256.size(), file.sha256.size()), file.sha256.begin());
        record.files.push_back(std::move(file));
    }
    return record;
}

InstallRecord runningPackageRecord(const std::vector<PackageEntry>& entries)
{
    InstallRecord record = installRecordOf(entries, PackageTree::Bundle);
    InstallRecord product = installRecordOf(entries, PackageTree::Product);
    record.files.insert(record.files.end(), product.files.begin(), product.files.end());
    return record;
}

std::optional<InstallRecord> readInstallRecord(const std::wstring& root, PackageTree tree) noexcept
{
    try {
        const std::wstring path = installRecordPath(root, tree);
        const std::optional<std::string> text = readSmallFile(path, maximumRecordSize);
        if (!text) return std::nullopt;
        std::optional<InstallRecord> record = parseInstallRecord(*text);
        if (record && std::any_of(record->files.begin(), record->files.end(),
                                  [tree](const RecordedFile& file) { return treeOf(file.name) != tree; }))
            return std::nullopt;
        return record;
    } catch (...) {
        return std::nullopt;
    }
}

bool holdsNoFiles(const std::wstring& folder) noexcept
{
    try {
        return holdsOnly(folder, {});
    } catch (...) {
        return false;
    }
}

TreeOwnership TreeOwnership::judged(std::wstring root, PackageTree tree, const InstallRecord& runningPackage,
                                    Proof proof)
{
    TreeOwnership ownership(std::move(root), tree, proof);
    const std::optional<InstallRecord> record = readInstallRecord(ownership.root_, tree);
    ownership.hasRecord_ = record.has_value();
    for (const RecordedFile& file : (record ? *record : runningPackage).files)
        if (treeOf(file.name) == tree) ownership.list(file.name, Check::Bytes, file);
    // The record and the run note themselves, by what they hold: a user's file may
    // bear their names.
    ownership.list(recordName(tree), Check::Record, std::nullopt);
    ownership.list(runNoteName(tree), Check::RunNote, std::nullopt);
    ownership.list(markerName(tree), Check::Marker, std::nullopt);
    return ownership;
}

TreeOwnership TreeOwnership::installedIn(std::wstring root, PackageTree tree, const InstallRecord& runningPackage)
{
    return judged(std::move(root), tree, runningPackage, Proof::Bytes);
}

TreeOwnership TreeOwnership::stagedIn(std::wstring root, PackageTree tree, const InstallRecord& runningPackage)
{
    return judged(std::move(root), tree, runningPackage, Proof::Name);
}

void TreeOwnership::list(std::string_view packageName, Check check, std::optional<RecordedFile> expected)
{
    const std::wstring relative = treeRelativePath(packageName);
    listed_[relativePathKey(relative)] = Listed{relative, check, std::move(expected), std::nullopt};
}

bool TreeOwnership::isOurs(const std::wstring& relative) const
{
    const auto found = listed_.find(relativePathKey(relative));
    if (found == listed_.end()) return false;
    const Listed& listed = found->second;
    if (!listed.verdict) {
        const std::wstring path = appendPath(root_, listed.relative);
        const Check check = proof_ == Proof::Bytes ? listed.check : Check::Exists;
        switch (check) {
        case Check::Bytes:
            listed.verdict = listed.expected && matches(path, *listed.expected);
            break;
        case Check::Record:
            listed.verdict = tree_ && readInstallRecord(root_, *tree_).has_value();
            break;
        case Check::RunNote:
            listed.verdict = tree_ && readRunNote(root_, *tree_).has_value();
            break;
        case Check::Marker:
            listed.verdict = readMarker(path).check == MarkerCheck::Exact;
            break;
        case Check::Exists:
            listed.verdict = inspectEntry(path) == EntryKind::File;
            break;
        }
    }
    return *listed.verdict;
}

TreeOwnership TreeOwnership::rejudged() const
{
    TreeOwnership fresh = *this;
    for (auto& [key, listed] : fresh.listed_) listed.verdict.reset();
    return fresh;
}

const RecordedFile* TreeOwnership::expectedBytes(const std::wstring& relative) const
{
    const auto found = listed_.find(relativePathKey(relative));
    if (proof_ != Proof::Bytes || found == listed_.end() || found->second.check != Check::Bytes) return nullptr;
    return found->second.expected ? &*found->second.expected : nullptr;
}

std::vector<std::wstring> TreeOwnership::ownedProof() const
{
    std::vector<std::wstring> proof;
    if (!tree_) return proof;
    // The marker last: a folder that a kill leaves with the marker alone still holds
    // nothing of anyone's.
    for (const std::wstring& relative :
         {runNoteRelativePath(*tree_), installRecordRelativePath(*tree_), markerRelativePath(*tree_)})
        if (isOurs(relative)) proof.push_back(appendPath(root_, relative));
    return proof;
}

bool TreeOwnership::listsAnythingBelow(const std::wstring& relativeFolder) const
{
    const std::wstring prefix = relativePathKey(relativeFolder) + L'\\';
    const auto next = listed_.lower_bound(prefix);
    return next != listed_.end() && next->first.starts_with(prefix);
}

bool TreeOwnership::lists(const std::wstring& relative) const { return listed_.contains(relativePathKey(relative)); }

std::vector<std::wstring> TreeOwnership::listedFiles() const
{
    std::vector<std::wstring> files;
    for (const auto& [key, listed] : listed_) files.push_back(backslashed(listed.relative));
    return files;
}

std::vector<std::wstring> TreeOwnership::ownedFiles() const
{
    std::vector<std::wstring> owned;
    for (const auto& [key, listed] : listed_)
        if (isOurs(listed.relative)) owned.push_back(backslashed(listed.relative));
    return owned;
}

bool holdsOnlyItsProof(const TreeOwnership& ours) noexcept
{
    try {
        return holdsOnly(ours.root(), ours.ownedProof());
    } catch (...) {
        return false;
    }
}

std::optional<ProofLeft> removeProofWhenAlone(const TreeOwnership& ours, FileOperations& operations)
{
    const std::wstring& root = ours.root();
    std::vector<std::wstring> proof;
    try {
        proof = ours.ownedProof();
        if (!holdsOnly(root, proof)) return std::nullopt;
    } catch (const FilesystemFailure& failure) {
        return ProofLeft{root, {RemovalOutcome::Refused, failure.errorCode()}};
    } catch (...) {
        return ProofLeft{root, {RemovalOutcome::Refused, ERROR_OUTOFMEMORY}};
    }
    for (const std::wstring& file : proof) {
        const RemovalResult result = operations.removeFile(file);
        if (result.outcome != RemovalOutcome::Removed && result.outcome != RemovalOutcome::Absent)
            return ProofLeft{file, result};
    }
    if (const std::optional<FolderLeft> left = removeEmptyTree(root, operations))
        return ProofLeft{left->path, {RemovalOutcome::Refused, left->error}};
    return std::nullopt;
}

namespace {

std::wstring leafOf(const std::wstring& path)
{
    const LexedPath lexed = lexPath(path);
    return lexed.components.empty() ? std::wstring() : lexed.components.back();
}

} // namespace

std::wstring workingFolderPath(const std::wstring& installFolder, PackageTree tree, WorkingKind kind,
                               std::wstring_view token)
{
    return appendPath(workingFolderParents(installFolder, tree).front(),
                      leafOf(installFolder) + std::wstring(kind == WorkingKind::Staging ? stagingInfix : rollbackInfix) +
                          std::wstring(token));
}

std::vector<std::wstring> workingFolderParents(const std::wstring& installFolder, PackageTree tree)
{
    const std::wstring beside = parentPath(installFolder);
    if (tree == PackageTree::Product) return {beside};
    return {parentPath(beside), beside};
}

std::optional<WorkingName> parseWorkingFolderName(const std::wstring& installFolder, std::wstring_view name) noexcept
{
    try {
        const std::wstring leaf = leafOf(installFolder);
        if (leaf.empty() || !name.starts_with(leaf)) return std::nullopt;
        const std::wstring_view rest = name.substr(leaf.size());
        for (const auto& [infix, kind] : {std::pair{stagingInfix, WorkingKind::Staging},
                                          std::pair{rollbackInfix, WorkingKind::Rollback}})
            if (rest.starts_with(infix) && isToken(rest.substr(infix.size())))
                return WorkingName{kind, std::wstring(rest.substr(infix.size()))};
    } catch (...) {
    }
    return std::nullopt;
}

void startRunNote(const std::wstring& root, PackageTree tree, std::wstring_view token)
{
    const std::wstring path = runNotePath(root, tree);
    createDirectories(parentPath(path));
    UniqueFile note(CreateFileW(extendedLengthPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!note) throw FilesystemFailure("write", GetLastError(), path);
    const std::string text = std::string(runNoteHeader) + wideToUtf8(std::wstring(token)) + "\n";
    DWORD written = 0;
    if (!WriteFile(note.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size() || !FlushFileBuffers(note.get()))
        throw FilesystemFailure("write", GetLastError(), path);
}

bool noteCarried(const std::wstring& root, PackageTree tree, const CarriedName& item) noexcept
{
    try {
        const std::wstring path = runNotePath(root, tree);
        if (inspectEntry(path) != EntryKind::File) return false;
        UniqueFile note(CreateFileW(extendedLengthPath(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        const std::string line =
            std::string(carriedPrefix) + wideToUtf8(item.inStaging) + "\t" + wideToUtf8(item.own) + "\n";
        DWORD written = 0;
        return note && WriteFile(note.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
               written == line.size() && FlushFileBuffers(note.get());
    } catch (...) {
        return false;
    }
}

std::optional<RunNote> readRunNote(const std::wstring& root, PackageTree tree) noexcept
{
    try {
        const std::wstring path = runNotePath(root, tree);
        const std::optional<std::string> read = readSmallFile(path, maximumRunNoteSize);
        if (!read) return std::nullopt;
        const std::string& text = *read;
        RunNote note;
        // Only whole lines count: a kill may cut the last one short.
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            const std::string_view line = std::string_view(text).substr(start, end - start);
            if (start == 0) {
                if (!line.starts_with(runNoteHeader)) return std::nullopt;
                note.token = utf8ToWide(line.substr(runNoteHeader.size()));
                if (!isToken(note.token)) return std::nullopt;
                continue;
            }
            const std::size_t tab = line.find('\t');
            if (!line.starts_with(carriedPrefix) || tab == std::string_view::npos) continue;
            note.carried.push_back({utf8ToWide(line.substr(carriedPrefix.size(), tab - carriedPrefix.size())),
                                    utf8ToWide(line.substr(tab + 1))});
        }
        if (note.token.empty()) return std::nullopt;
        return note;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace elvara
