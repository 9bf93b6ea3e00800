#include "base/event_log.h"
#include "base/path_text.h"
#include "base/unique_handle.h"
#include "install/filesystem_ops.h"
#include "install/install_transaction.h"
#include "install/ownership.h"
#include "package/crypto.h"
#include "package/text.h"
#include "unit/holder_process.h"
#include "unit/scratch_folder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>

using namespace elvara;
using namespace elvara::test;

namespace {

const std::vector<PackageEntry>& shippedEntries()
{
    static const std::vector<PackageEntry> entries = parseSetupPackage(loadPackageResource());
    return entries;
}

// The files that a tree must hold after an installation: exactly the package's, and
// the record of them.
TreeSnapshot expectedFiles(PackageTree tree)
{
    TreeSnapshot files;
    files[installRecordRelativePath(tree)] = contentSnapshot(formatInstallRecord(installRecordOf(shippedEntries(), tree)));
    for (const PackageEntry& entry : shippedEntries()) {
        if (isPluginEntry(entry) != (tree == PackageTree::Bundle)) continue;
        std::wstring relative = entryRelativePath(entry, tree);
        std::replace(relative.begin(), relative.end(), L'/', L'\\');
        files[relative] = std::to_string(entry.size) + ":" + toLowerHex(entry.sha256);
    }
    return files;
}

void expectExactlyTheNewInstallation(const InstallLocations& locations)
{
    EXPECT_EQ(filesOnly(snapshotTree(locations.bundleFolder)), expectedFiles(PackageTree::Bundle));
    EXPECT_EQ(filesOnly(snapshotTree(locations.productFolder)), expectedFiles(PackageTree::Product));
}

std::string installFailure(const InstallLocations& locations, const ProgressCallback& progress = [](std::uint32_t) {},
                           FileOperations& operations = realFileOperations())
{
    try {
        installPackage(shippedEntries(), locations, progress, operations);
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return "installed";
}

// Real file operations, except that chosen calls of one kind fail: a write comes up
// one byte short, a flush or a removal is refused, a rename raises.
class FailingFileOperations : public FileOperations {
public:
    enum Kind { Write, Flush, Rename, RemoveFile };

    // Calls of that kind, counted from 1, that fail; a failed flush reports flushError.
    void failAt(Kind kind, std::set<unsigned> calls) { failing_[kind] = std::move(calls); }
    DWORD flushError = ERROR_IO_DEVICE;
    std::vector<std::pair<std::wstring, std::wstring>> renames; // every rename tried, in order

    bool write(HANDLE file, ByteView data, DWORD& written) override
    {
        if (failsNow(Write) && data.length > 0) return FileOperations::write(file, {data.bytes, data.length - 1}, written);
        return FileOperations::write(file, data, written);
    }
    bool flush(HANDLE file) override
    {
        if (!failsNow(Flush)) return FileOperations::flush(file);
        SetLastError(flushError);
        return false;
    }
    void rename(const std::wstring& from, const std::wstring& to) override
    {
        renames.emplace_back(from, to);
        if (failsNow(Rename)) throw FilesystemFailure("rename", ERROR_ACCESS_DENIED, from, to);
        FileOperations::rename(from, to);
    }
    RemovalResult removeFile(const std::wstring& path) override
    {
        if (failsNow(RemoveFile)) return {RemovalOutcome::Refused, ERROR_ACCESS_DENIED};
        return FileOperations::removeFile(path);
    }
    RemovalResult removeFileIfUnchanged(const std::wstring& path, const RecordedFile& expected) override
    {
        if (failsNow(RemoveFile)) return {RemovalOutcome::Refused, ERROR_ACCESS_DENIED};
        return FileOperations::removeFileIfUnchanged(path, expected);
    }

private:
    bool failsNow(Kind kind) { return failing_[kind].contains(++calls_[kind]); }
    std::map<Kind, std::set<unsigned>> failing_;
    std::map<Kind, unsigned> calls_;
};

std::string renameFailureText(const std::wstring& from, const std::wstring& to)
{
    return FilesystemFailure("rename", ERROR_ACCESS_DENIED, from, to).what();
}

// The run's installation log, read back once the test has closed it.
class CapturedLog {
public:
    explicit CapturedLog(const ScratchFolder& scratch) : path_(scratch / L"install.log") { event_log::open(path_); }
    ~CapturedLog() { event_log::close(); }
    std::string text()
    {
        event_log::close();
        return readFile(path_);
    }

private:
    std::wstring path_;
};

// The link fixture's own product installation whose README.txt is a file link (ln -s)
// to a decoy outside it (tests/harness/with-link-fixture.sh).
struct LinkedInstallation {
    std::wstring productFolder, decoy;
};
std::optional<LinkedInstallation> linkedInstallation()
{
    const wchar_t* fixture = _wgetenv(L"ELVARA_LINK_FIXTURE");
    if (fixture == nullptr) return std::nullopt;
    return LinkedInstallation{std::wstring(fixture) + L"\\installed\\ElvaraSound",
                              std::wstring(fixture) + L"\\decoys\\decoy.txt"};
}

// Working folders left beside the targets (".install-" or ".rollback-").
// Adds a file to an installed tree and to its record, as if an earlier version had installed it.
void addRecordedFile(const std::wstring& root, PackageTree tree, const std::wstring& relative, const std::string& name,
                     const std::string& content)
{
    writeFile(appendPath(root, relative), content);
    std::optional<InstallRecord> record = readInstallRecord(root, tree);
    ASSERT_TRUE(record.has_value());
    const auto digest = sha256Digest({reinterpret_cast<const std::uint8_t*>(content.data()), content.size()});
    RecordedFile file{name, content.size(), {}};
    std::copy(digest.begin(), digest.end(), file.sha256.begin());
    record->files.push_back(file);
    writeFile(installRecordPath(root, tree), formatInstallRecord(*record));
}

// An older installation of our own: the shipped files plus one that the new package no longer lists.
void makeOldOwnInstallation(const InstallLocations& locations)
{
    ASSERT_EQ(installFailure(locations), "installed");
    addRecordedFile(locations.bundleFolder, PackageTree::Bundle, L"Contents\\Resources\\old-presets.bin",
                    "VST3/ElvaraSound.vst3/Contents/Resources/old-presets.bin", "old");
}

} // namespace

TEST(InstallTransaction, FirstInstallationReportsProgressAndLeavesOnlyThePackage)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    std::vector<std::uint32_t> reports;
    ASSERT_EQ(installFailure(locations, [&](std::uint32_t percent) { reports.push_back(percent); }), "installed");
    EXPECT_EQ(reports, (std::vector<std::uint32_t>{17, 25, 33, 41, 48, 56, 64, 72, 80, 95, 100}));
    expectExactlyTheNewInstallation(locations);
    EXPECT_TRUE(workingFolders(scratch).empty());
}

TEST(InstallTransaction, ReinstallKeepsTheUsersFilesWhereTheUserPutThem)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    makeOldOwnInstallation(locations);
    writeFile(locations.productFolder + L"\\my-notes.txt", "a user's own file");
    makeFolders(locations.productFolder + L"\\Presets\\Mine");
    writeFile(locations.productFolder + L"\\Presets\\Mine\\warm.preset", "a user's preset");
    writeFile(locations.productFolder + L"\\README.txt", "the user's edit");

    ASSERT_EQ(installFailure(locations), "installed");
    TreeSnapshot expected = expectedFiles(PackageTree::Product);
    expected[L"my-notes.txt"] = contentSnapshot("a user's own file");
    expected[L"Presets\\Mine\\warm.preset"] = contentSnapshot("a user's preset");
    expected[L"README (yours).txt"] = contentSnapshot("the user's edit"); // a recorded file whose bytes the user changed
    EXPECT_EQ(filesOnly(snapshotTree(locations.productFolder)), expected);
    const TreeSnapshot expectedBundle = expectedFiles(PackageTree::Bundle); // the old version's own file went
    EXPECT_EQ(filesOnly(snapshotTree(locations.bundleFolder)), expectedBundle);
    EXPECT_TRUE(workingFolders(scratch).empty());

    ASSERT_EQ(installFailure(locations), "installed"); // and again: the user's files stay, nothing doubles
    EXPECT_EQ(filesOnly(snapshotTree(locations.productFolder)), expected);
    EXPECT_EQ(filesOnly(snapshotTree(locations.bundleFolder)), expectedBundle);
    EXPECT_TRUE(workingFolders(scratch).empty());
}

TEST(InstallTransaction, ForeignFoldersAreNeverChanged)
{
    struct Case {
        const char* title;
        bool ownBundleFirst;
        void (*prepare)(const InstallLocations&);
        const char* expected;
    };
    const Case cases[] = {
        {"bundle of another product", false,
         [](const InstallLocations& l) {
             makeFolders(l.bundleFolder + L"\\Contents\\Resources");
             writeFile(l.bundleFolder + L"\\Contents\\Resources\\elvara-product.txt", "Someone-Else\n");
         },
         "The existing ElvaraSound VST3 folder was not created by this installer. It will not be overwritten."},
        {"foreign product folder next to our bundle", true,
         [](const InstallLocations& l) {
             makeFolders(l.productFolder);
             writeFile(l.productFolder + L"\\data.bin", "theirs");
         },
         "The existing product folder is not an ElvaraSound installation. It will not be overwritten."},
        {"an empty bundle folder beside a foreign product folder", false,
         [](const InstallLocations& l) {
             makeFolders(l.bundleFolder + L"\\Contents");
             makeFolders(l.productFolder);
             writeFile(l.productFolder + L"\\data.bin", "theirs");
         },
         "The existing product folder is not an ElvaraSound installation. It will not be overwritten."},
        {"a file in place of the product folder", false,
         [](const InstallLocations& l) {
             makeFolders(parentPath(l.productFolder));
             writeFile(l.productFolder, "a file");
         },
         "The existing product folder is not an ElvaraSound installation. It will not be overwritten."},
    };
    for (const Case& c : cases) {
        ScratchFolder scratch;
        const InstallLocations locations = locationsIn(scratch);
        if (c.ownBundleFirst) {
            ASSERT_EQ(installFailure({locations.bundleFolder, scratch / L"unused"}), "installed");
        }
        c.prepare(locations);
        const TreeSnapshot before = snapshotTree(scratch.path());
        EXPECT_EQ(installFailure(locations), c.expected) << c.title;
        EXPECT_EQ(snapshotTree(scratch.path()), before) << c.title;
    }
}

// A folder with nothing in it is nobody's installation (an uninstall that a window
// open in it kept, or one that a kill stopped between the markers and the folders):
// it is taken over. While a window holds it, the text says which folder and what to do.
TEST(InstallTransaction, EmptyFoldersAreTakenOverAndAHeldFolderIsNamed)
{
    const struct {
        const char* title;
        std::vector<std::wstring> bundleFolders, productFolders; // relative; L"" is the folder itself
    } empties[] = {
        {"empty bundle folder", {L""}, {}},
        {"empty product folder", {}, {L""}},
        {"both empty", {L""}, {L""}},
        {"nested empty folders", {L"Contents\\Resources", L"Contents\\x86_64-win"}, {L"a\\b\\c"}},
    };
    for (const auto& c : empties) {
        ScratchFolder scratch;
        const InstallLocations locations = locationsIn(scratch);
        const auto inside = [](const std::wstring& root, const std::wstring& relative) {
            return relative.empty() ? root : appendPath(root, relative);
        };
        for (const std::wstring& folder : c.bundleFolders) makeFolders(inside(locations.bundleFolder, folder));
        for (const std::wstring& folder : c.productFolders) makeFolders(inside(locations.productFolder, folder));
        EXPECT_EQ(installFailure(locations), "installed") << c.title;
        expectExactlyTheNewInstallation(locations);
        EXPECT_TRUE(workingFolders(scratch).empty()) << c.title;
    }

    const struct {
        const char* title;
        bool installedFirst;
        std::wstring held; // relative to the scratch folder
        std::wstring namedFolder;
        std::string firstWords;
    } held[] = {
        {"an empty bundle subfolder that a window is open in", false,
         L"Common Files\\VST3\\ElvaraSound.vst3\\Contents\\x86_64-win",
         L"Common Files\\VST3\\ElvaraSound.vst3\\Contents\\x86_64-win", "The folder "},
        {"an installed product folder that a window is open in", true, L"Program Files\\ElvaraSound",
         L"Program Files\\ElvaraSound", "rename: "},
    };
    for (const auto& c : held) {
        ScratchFolder scratch;
        const InstallLocations locations = locationsIn(scratch);
        if (c.installedFirst) {
            ASSERT_EQ(installFailure(locations), "installed") << c.title;
        }
        makeFolders(scratch / c.held);
        const TreeSnapshot before = snapshotTree(scratch.path());
        {
            HolderProcess window(L"current-folder", scratch / c.held);
            ASSERT_TRUE(window.holding()) << c.title;
            const std::string text = installFailure(locations);
            EXPECT_TRUE(text.starts_with(c.firstWords)) << c.title << ": " << text;
            EXPECT_NE(text.find(" The folder " + wideToUtf8(scratch / c.namedFolder) +
                                " is in use by another program (a window or command prompt open in it counts). "
                                "Nothing was changed. Close that program or window, then run Setup again."),
                      std::string::npos)
                << c.title << ": " << text;
            EXPECT_EQ(snapshotTree(scratch.path()), before) << c.title;
        }
        EXPECT_EQ(installFailure(locations), "installed") << c.title << ", once the window is closed";
        expectExactlyTheNewInstallation(locations);
    }
}

// A read-only module refuses every open for writing, loaded or not: the check must
// still tell a loaded one apart, and leave the attribute as it found it.
TEST(InstallTransaction, PluginLoadedByAHostRefusesTheUpdateUntilTheHostEnds)
{
    for (const bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly ? "read-only module" : "writable module");
        ScratchFolder scratch;
        const InstallLocations locations = locationsIn(scratch);
        makeOldOwnInstallation(locations);
        const std::wstring module = locations.bundleFolder + L"\\Contents\\x86_64-win\\ElvaraSound.vst3";
        if (readOnly) {
            ASSERT_TRUE(SetFileAttributesW(module.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        const TreeSnapshot before = snapshotTree(scratch.path());
        {
            HolderProcess host(L"load", module);
            ASSERT_TRUE(host.holding()) << "the host could not load the installed plug-in";
            EXPECT_EQ(installFailure(locations), "Close FL Studio and other DAWs before updating the plugin.")
                << "a module that another process has loaded with LoadLibraryW must count as in use";
            EXPECT_EQ(snapshotTree(scratch.path()), before) << "a refused update must change nothing on disk";
            if (readOnly) {
                EXPECT_NE(GetFileAttributesW(module.c_str()) & FILE_ATTRIBUTE_READONLY, 0u)
                    << "the check must put the read-only attribute back";
            }
        }
        EXPECT_EQ(installFailure(locations), "installed") << "the same update once the host has ended";
        expectExactlyTheNewInstallation(locations);
    }
}

TEST(InstallTransaction, PluginHeldOpenRefusesTheUpdateAMissingOneDoesNot)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    makeOldOwnInstallation(locations);
    const std::wstring module = locations.bundleFolder + L"\\Contents\\x86_64-win\\ElvaraSound.vst3";
    const TreeSnapshot before = snapshotTree(scratch.path());
    {
        UniqueFile heldByHost(CreateFileW(module.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                          nullptr));
        ASSERT_TRUE(heldByHost);
        EXPECT_EQ(installFailure(locations), "Close FL Studio and other DAWs before updating the plugin.");
    }
    EXPECT_EQ(snapshotTree(scratch.path()), before);

    // An own bundle without its module (left by an uninstall that kept a user's file,
    // or damaged) has nothing that a host could hold: installing again repairs it.
    DeleteFileW(module.c_str());
    EXPECT_EQ(installFailure(locations), "installed") << "a missing module must not block the repair";
    expectExactlyTheNewInstallation(locations);
}

TEST(InstallTransaction, StagedWriteThatIsShortOrNotFlushedFailsAndChangesNothing)
{
    // The text keeps the cause where the system gives one, and its advice fits it.
    const struct {
        const char* title;
        FailingFileOperations::Kind kind;
        unsigned call;
        DWORD flushError;
        const char* textStart;
        const char* cause;
    } cases[] = {
        {"a write one byte short", FailingFileOperations::Write, 1, 0, "Unable to write the complete plugin file", ""},
        {"a write one byte short, later file", FailingFileOperations::Write, 6, 0,
         "Unable to write the complete plugin file", ""},
        {"a failed flush", FailingFileOperations::Flush, 1, ERROR_IO_DEVICE, "Unable to write the complete plugin file ",
         "I/O device error"},
        {"a failed flush of the last file", FailingFileOperations::Flush, 9, ERROR_IO_DEVICE,
         "Unable to write the complete plugin file ", "I/O device error"},
        {"a full disk", FailingFileOperations::Flush, 4, ERROR_DISK_FULL, "There is not enough space on the disk for ",
         "Free some space, then run Setup again. Nothing was changed."},
    };
    for (const auto& c : cases) {
        for (const bool overExisting : {false, true}) {
            ScratchFolder scratch;
            const InstallLocations locations = locationsIn(scratch);
            if (overExisting) makeOldOwnInstallation(locations);
            const TreeSnapshot before = snapshotTree(scratch.path());
            FailingFileOperations operations;
            operations.failAt(c.kind, {c.call});
            operations.flushError = c.flushError;
            const std::string where = std::string(c.title) + (overExisting ? ", over an installation" : ", fresh");
            const std::string failure = installFailure(locations, [](std::uint32_t) {}, operations);
            EXPECT_TRUE(failure.starts_with(c.textStart) && failure.find(c.cause) != std::string::npos)
                << where << ": a staged file that is not completely written and flushed must fail the installation, "
                << "saying why: " << failure;
            if (c.flushError == 0) {
                EXPECT_EQ(failure, c.textStart) << where;
            }
            EXPECT_EQ(failure.find("DAW"), std::string::npos) << where;
            EXPECT_EQ(snapshotTree(scratch.path()), before) << where;
        }
    }
}

// A rename back that fails replaces the first failure, and the rollback stops there:
// nothing is removed that the failed step might still need. The next run recovers.
TEST(InstallTransaction, FailedRenameBackIsReportedAndStopsTheRollback)
{
    enum Folder { Bundle, Product, BundleStaging, ProductStaging, BundleRollback, ProductRollback };
    const struct {
        const char* title;
        std::set<unsigned> failingRenames; // 1, 2: moved aside; 3, 4: staging into place; then, undoing,
                                           // the new folders aside, then the old ones back
        unsigned failAtProgress;           // 0: none; 10: the report of 95
        Folder reportedFrom, reportedTo;
        std::set<Folder> leftOnDisk;
    } cases[] = {
        {"bundle aside, product aside fails, bundle back fails", {2, 3}, 0, BundleRollback, Bundle,
         {BundleRollback, Product, BundleStaging, ProductStaging}},
        {"bundle into place fails, product back fails", {3, 4}, 0, ProductRollback, Product,
         {BundleRollback, ProductRollback, BundleStaging, ProductStaging}},
        {"bundle into place fails, bundle back fails", {3, 5}, 0, BundleRollback, Bundle,
         {BundleRollback, Product, BundleStaging, ProductStaging}},
        {"after the swap, the new product cannot move aside", {5}, 10, Product, ProductStaging,
         {Bundle, Product, BundleRollback, ProductRollback}},
        {"after the swap, the new bundle cannot move aside", {6}, 10, Bundle, BundleStaging,
         {Bundle, ProductStaging, BundleRollback, ProductRollback}},
        {"after the swap, product back fails", {7}, 10, ProductRollback, Product,
         {BundleRollback, ProductRollback, BundleStaging, ProductStaging}},
        {"after the swap, bundle back fails", {8}, 10, BundleRollback, Bundle,
         {BundleRollback, Product, BundleStaging, ProductStaging}},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch;
        const InstallLocations locations = locationsIn(scratch);
        makeOldOwnInstallation(locations);
        const TreeSnapshot oldProduct = snapshotTree(locations.productFolder);
        FailingFileOperations operations;
        operations.failAt(FailingFileOperations::Rename, c.failingRenames);
        unsigned reports = 0;
        const std::string result = installFailure(
            locations,
            [&](std::uint32_t) {
                if (++reports == c.failAtProgress) throw std::runtime_error("injected");
            },
            operations);

        ASSERT_GE(operations.renames.size(), 3u) << c.title;
        const std::wstring token = operations.renames[0].second.substr(operations.renames[0].second.size() - 16);
        const std::map<Folder, std::wstring> paths = {
            {Bundle, locations.bundleFolder},
            {Product, locations.productFolder},
            {BundleStaging, workingFolderPath(locations.bundleFolder, PackageTree::Bundle, WorkingKind::Staging, token)},
            {ProductStaging, workingFolderPath(locations.productFolder, PackageTree::Product, WorkingKind::Staging, token)},
            {BundleRollback, workingFolderPath(locations.bundleFolder, PackageTree::Bundle, WorkingKind::Rollback, token)},
            {ProductRollback, workingFolderPath(locations.productFolder, PackageTree::Product, WorkingKind::Rollback, token)},
        };
        EXPECT_EQ(result, renameFailureText(paths.at(c.reportedFrom), paths.at(c.reportedTo)))
            << c.title << ": the failed rename back must be the reported failure, in the rollback's order";
        EXPECT_EQ(operations.renames.back(), std::make_pair(paths.at(c.reportedFrom), paths.at(c.reportedTo)))
            << c.title << ": no rename may follow a failed rename back";
        for (const auto& [folder, path] : paths)
            EXPECT_EQ(pathExistsQuietly(path), c.leftOnDisk.contains(folder))
                << c.title << ": " << std::string(path.begin(), path.end())
                << (c.leftOnDisk.contains(folder) ? " must remain" : " must not exist");
        if (c.leftOnDisk.contains(Product) && !c.leftOnDisk.contains(ProductRollback)) {
            EXPECT_EQ(snapshotTree(locations.productFolder), oldProduct) << c.title << ": old product renamed back";
        }

        // What the stopped rollback left is put right by the next run.
        EXPECT_EQ(installFailure(locations), "installed") << c.title;
        expectExactlyTheNewInstallation(locations);
        EXPECT_TRUE(workingFolders(scratch).empty()) << c.title;
    }
}

TEST(InstallTransaction, FailedDeleteDuringTheCleanUpIsLoggedAndLeftToTheNextRun)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    ASSERT_EQ(installFailure(locations), "installed");
    CapturedLog log(scratch);
    FailingFileOperations operations;
    operations.failAt(FailingFileOperations::RemoveFile, {3}); // after both run notes: the old product's first file
    EXPECT_EQ(installFailure(locations, [](std::uint32_t) {}, operations), "installed")
        << "after the swap the installation has succeeded, whatever the clean-up meets";
    expectExactlyTheNewInstallation(locations);
    const auto left = workingFolders(scratch);
    ASSERT_EQ(left.size(), 1u) << "the rollback folder with the file that could not be deleted stays";
    const std::wstring aside = scratch / (L"Program Files\\" + left[0]);
    EXPECT_EQ(folderNames(aside),
              (std::vector<std::wstring>{L"EULA.txt", L"elvara-installed-files.txt", L"install-marker.txt"}))
        << "the record and the marker stay with what could not be removed";
    const std::string text = log.text();
    const std::string stayed = wideToUtf8(aside + L"\\EULA.txt");
    EXPECT_NE(text.find("clean-up: could not be removed (Win32 error 5): " + stayed), std::string::npos) << text;
    EXPECT_NE(text.find("clean-up: left behind: " + stayed), std::string::npos) << text;

    ASSERT_EQ(installFailure(locations), "installed");
    EXPECT_TRUE(workingFolders(scratch).empty()) << "the next run's recovery removes what stayed";
    expectExactlyTheNewInstallation(locations);
}

TEST(InstallTransaction, RecoveryPutsBackOrClearsWhatKilledRunsLeft)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    makeOldOwnInstallation(locations);
    writeFile(locations.productFolder + L"\\my-notes.txt", "a user's own file");
    const TreeSnapshot oldBundle = snapshotTree(locations.bundleFolder);
    const std::wstring vst3 = scratch / L"Common Files\\VST3";
    const std::wstring programFiles = scratch / L"Program Files";
    // Killed between the renames of a swap: the bundle moved aside, both staged, one cut short.
    ASSERT_TRUE(MoveFileExW(locations.bundleFolder.c_str(), (locations.bundleFolder + L".rollback-00112233445566ff").c_str(), 0));
    makeFolders(locations.bundleFolder + L".install-00112233445566ff\\Contents\\x86_64-win");
    writeFile(locations.bundleFolder + L".install-00112233445566ff\\Contents\\x86_64-win\\ElvaraSound.vst3", "MZ cut");
    // Its marker too: the beginning of the marker line is all that a kill let through.
    makeFolders(locations.bundleFolder + L".install-00112233445566ff\\Contents\\Resources");
    writeFile(locations.bundleFolder + L".install-00112233445566ff\\Contents\\Resources\\elvara-product.txt",
              "ElvaraSound-Liv");
    makeFolders(locations.productFolder + L".install-00112233445566ff");
    writeFile(locations.productFolder + L".install-00112233445566ff\\EULA.txt", "licence");
    // An older run killed during its clean-up: the user's file still aside, with package files.
    makeFolders(locations.productFolder + L".rollback-0123456789abcdef\\Presets");
    writeFile(locations.productFolder + L".rollback-0123456789abcdef\\Presets\\old.preset", "kept preset");
    writeFile(locations.productFolder + L".rollback-0123456789abcdef\\README.txt", "old read-me");
    // Look-alikes that are not provably ours stay as they are.
    const std::vector<std::wstring> foreign = {
        programFiles + L"\\ElvaraSound.rollback-AAAABBBBCCCCDDDD",
        programFiles + L"\\ElvaraSound.install-0123",
        programFiles + L"\\ElvaraSoundX.install-0123456789abcdef",
        vst3 + L"\\ElvaraSound.vst3.rollback-fedcba9876543210",
        vst3 + L"\\ElvaraSound.vst3.rollback-1234567890abcdef", // a rollback's marker is never cut short
    };
    for (const std::wstring& folder : foreign) {
        makeFolders(folder);
        writeFile(folder + L"\\README.txt", "someone else's");
    }
    makeFolders(foreign[3] + L"\\Contents\\Resources");
    writeFile(foreign[3] + L"\\Contents\\Resources\\elvara-product.txt", "Someone-Else\n");
    makeFolders(foreign[4] + L"\\Contents\\Resources");
    writeFile(foreign[4] + L"\\Contents\\Resources\\elvara-product.txt", "ElvaraSound-Liv");
    std::map<std::wstring, TreeSnapshot> foreignBefore;
    for (const std::wstring& folder : foreign) foreignBefore[folder] = snapshotTree(folder);

    recoverInterruptedRuns(shippedEntries(), locations);
    EXPECT_EQ(snapshotTree(locations.bundleFolder), oldBundle)
        << "a rollback folder whose install folder is missing is the previous installation, renamed back";
    EXPECT_EQ(readFile(locations.productFolder + L"\\Presets\\old.preset"), "kept preset")
        << "a user's file in a stale rollback folder moves into the product folder at its own path";
    EXPECT_EQ(readFile(locations.productFolder + L"\\my-notes.txt"), "a user's own file");
    for (const std::wstring& folder : foreign)
        EXPECT_EQ(snapshotTree(folder), foreignBefore[folder]) << std::string(folder.begin(), folder.end());
    std::vector<std::wstring> ours = workingFolders(scratch);
    std::erase_if(ours, [&](const std::wstring& name) {
        return std::any_of(foreign.begin(), foreign.end(), [&](const std::wstring& f) { return f.ends_with(name); });
    });
    EXPECT_TRUE(ours.empty()) << std::string(ours.empty() ? "" : std::string(ours[0].begin(), ours[0].end()));

    ASSERT_EQ(installFailure(locations), "installed");
    EXPECT_EQ(readFile(locations.productFolder + L"\\Presets\\old.preset"), "kept preset");
    for (const std::wstring& folder : foreign) EXPECT_EQ(snapshotTree(folder), foreignBefore[folder]);
}

TEST(InstallTransaction, AFileLinkInPlaceOfAPackageFileNeverReachesItsTarget)
{
    const auto linked = linkedInstallation();
    if (!linked) GTEST_SKIP() << "needs the link fixture of tests/harness/with-link-fixture.sh";
    const std::string decoy = readFile(linked->decoy);
    ASSERT_FALSE(decoy.empty());
    ASSERT_EQ(readFile(linked->productFolder + L"\\README.txt"), decoy) << "README.txt must lead to the decoy";
    ScratchFolder scratch;
    const InstallLocations locations{locationsIn(scratch).bundleFolder, linked->productFolder};
    CapturedLog log(scratch);

    EXPECT_EQ(installFailure(locations), "installed") << "a link met by the clean-up must not fail the installation";
    EXPECT_EQ(readFile(linked->decoy), decoy) << "the reinstall's clean-up deleted the decoy through a link";
    expectExactlyTheNewInstallation(locations);
    const std::string text = log.text();
    EXPECT_NE(text.find("carry: a link stays where it is: "), std::string::npos) << text;

    EXPECT_EQ(installFailure(locations), "installed"); // its recovery meets the link again
    EXPECT_EQ(readFile(linked->decoy), decoy) << "recovery deleted the decoy through a link";
    expectExactlyTheNewInstallation(locations);
}

TEST(InstallTransaction, AnyFailureBeforeTheCommitRestoresBothTrees)
{
    for (const bool overExisting : {false, true}) {
        for (std::uint32_t failingCall = 1; failingCall <= 11; ++failingCall) {
            ScratchFolder scratch;
            const InstallLocations locations = locationsIn(scratch);
            if (overExisting) makeOldOwnInstallation(locations);
            const TreeSnapshot before = snapshotTree(scratch.path());
            std::uint32_t calls = 0;
            const std::string result = installFailure(locations, [&](std::uint32_t) {
                if (++calls == failingCall) throw std::runtime_error("injected");
            });
            const std::string where = (overExisting ? "over an installation, call " : "fresh, call ") +
                                      std::to_string(failingCall);
            EXPECT_EQ(result, "injected") << where;
            if (failingCall <= 10) {
                EXPECT_EQ(snapshotTree(scratch.path()), before) << where;
            } else {
                expectExactlyTheNewInstallation(locations); // committed at 95: the new installation stays
                EXPECT_TRUE(workingFolders(scratch).empty()) << where;
            }
        }
    }
}

TEST(InstallTransaction, StagingThatCannotBeCreatedChangesNothing)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    removeTree(scratch / L"Common Files\\VST3");
    writeFile(scratch / L"Common Files\\VST3", "a file where the VST3 folder belongs");
    const TreeSnapshot before = snapshotTree(scratch.path());
    const std::string failure = installFailure(locations);
    EXPECT_TRUE(failure.starts_with("create_directories: ")) << failure;
    std::string folder(scratch.path().begin(), scratch.path().end());
    EXPECT_NE(failure.find(": \"" + folder + "\\Common Files\\VST3\""), std::string::npos)
        << failure;
    EXPECT_EQ(snapshotTree(scratch.path()), before);
}

TEST(InstallTransaction, RemovePackageFilesDeletesOnlyNamedFiles)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    ASSERT_EQ(installFailure(locations), "installed");
    writeFile(locations.bundleFolder + L"\\Contents\\x86_64-win\\foreign.dll", "x");
    EXPECT_TRUE(removePackageFiles(locations.bundleFolder, shippedEntries(), PackageTree::Bundle).empty())
        << "a folder kept for a file that is not ours is not a failure";
    EXPECT_TRUE(removePackageFiles(locations.productFolder, shippedEntries(), PackageTree::Product).empty());
    EXPECT_EQ(folderNames(locations.bundleFolder), std::vector<std::wstring>{L"Contents"});
    EXPECT_EQ(folderNames(locations.bundleFolder + L"\\Contents"), (std::vector<std::wstring>{L"Resources", L"x86_64-win"}));
    EXPECT_EQ(folderNames(locations.bundleFolder + L"\\Contents\\Resources"),
              (std::vector<std::wstring>{L"elvara-installed-files.txt", L"elvara-product.txt"}))
        << "a folder that keeps a file keeps its record and marker";
    EXPECT_EQ(folderNames(locations.bundleFolder + L"\\Contents\\x86_64-win"),
              std::vector<std::wstring>{L"foreign.dll"});
    EXPECT_FALSE(pathExistsQuietly(locations.productFolder));
    EXPECT_TRUE(pathExistsQuietly(scratch / L"Common Files\\VST3")); // never removed
}

TEST(InstallTransaction, RemovePackageFilesReportsWhatItCouldNotRemove)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    ASSERT_EQ(installFailure(locations), "installed");
    const std::wstring readMe = locations.productFolder + L"\\README.txt";
    UniqueFile heldOpen(CreateFileW(readMe.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(heldOpen);
    const std::vector<LeftBehind> left =
        removePackageFiles(locations.productFolder, shippedEntries(), PackageTree::Product);
    ASSERT_EQ(left.size(), 1u) << "a file held open must be reported as left behind";
    EXPECT_EQ(left[0].path, readMe);
    EXPECT_EQ(left[0].outcome, RemovalOutcome::Refused);
    EXPECT_EQ(left[0].error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(folderNames(locations.productFolder),
              (std::vector<std::wstring>{L"README.txt", L"elvara-installed-files.txt", L"install-marker.txt"}))
        << "the record and the marker stay with what could not be removed";
    heldOpen.reset();
    EXPECT_TRUE(removePackageFiles(locations.productFolder, shippedEntries(), PackageTree::Product).empty());
    EXPECT_FALSE(pathExistsQuietly(locations.productFolder));
}

TEST(FilesystemFailures, TextCarriesOperationSystemDescriptionAndPaths)
{
    const std::string denied = systemErrorDescription(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(denied.empty());
    EXPECT_NE(denied.back(), '\n');
    EXPECT_EQ(systemErrorDescription(0x2FFFFFFF), "unknown error");
    const FilesystemFailure one("exists", ERROR_ACCESS_DENIED, L"C:\\a b");
    EXPECT_STREQ(one.what(), ("exists: " + denied + ": \"C:\\a b\"").c_str());
    const FilesystemFailure two("rename", ERROR_ACCESS_DENIED, L"C:\\x", L"C:\\y");
    EXPECT_STREQ(two.what(), ("rename: " + denied + ": \"C:\\x\", \"C:\\y\"").c_str());
    EXPECT_EQ(two.errorCode(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}
