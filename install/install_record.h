#pragma once
// Each install folder's record of the files that the installer put there, and the
// question it answers everywhere: whose is this file? A file is ours when the
// folder's record lists it and its bytes still match; everything else is the user's.
// An installation made before records existed is judged by the running package's
// names, as it always was.
#include "install/install_record_format.h"
#include "install/package_tree.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace elvara {

std::wstring installRecordRelativePath(PackageTree tree);
std::wstring installRecordPath(const std::wstring& root, PackageTree tree);
InstallRecord installRecordOf(const std::vector<PackageEntry>& entries, PackageTree tree);
// Read without following a link. Nothing when it is missing, damaged, or lists a
// file of the other tree: a record in doubt is no record.
std::optional<InstallRecord> readInstallRecord(const std::wstring& root, PackageTree tree) noexcept;

class TreeOwnership {
public:
    // Digest: a recorded file is ours only while its size and SHA-256 match the
    // record. NameOnly: for working folders that only this installer writes into.
    enum class Proof { Digest, NameOnly };

    TreeOwnership(std::wstring root, PackageTree tree, const std::vector<std::string>& fallbackNames,
                  Proof proof = Proof::Digest);

    // Claims exactly these files below root, by name.
    static TreeOwnership claiming(std::wstring root, const std::vector<std::wstring>& relativeFiles);

    bool hasRecord() const noexcept { return record_.has_value(); }
    const std::optional<InstallRecord>& record() const noexcept { return record_; }
    // relative: a path inside the tree, with "\" or "/" separators.
    bool isOurs(const std::wstring& relative) const;
    bool listsAnythingBelow(const std::wstring& relativeFolder) const;
    // The listed files that are there and ours, as relative paths; the record among them.
    std::vector<std::wstring> ownedFiles() const;

private:
    TreeOwnership(std::wstring root, Proof proof) : root_(std::move(root)), proof_(proof) {}
    struct Listed {
        std::wstring relative;
        std::optional<RecordedFile> recorded; // compared byte for byte when set
        mutable std::optional<bool> verdict;
    };
    std::wstring root_;
    Proof proof_;
    std::optional<InstallRecord> record_;
    std::map<std::wstring, Listed> listed_; // by a key that folds letter case and separators
};

// The key under which TreeOwnership compares relative paths.
std::wstring relativePathKey(const std::wstring& relative);

} // namespace elvara
