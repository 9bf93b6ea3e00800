#include "base/unique_handle.h"
#include "install/filesystem_ops.h"
#include "install/install_transaction.h"
#include "install/path_text.h"
#include "package/text.h"
#include "unit/scratch_folder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

using namespace elvara;
using namespace elvara::test;

namespace {

const std::vector<PackageEntry>& shippedEntries()
{
    static const std::vector<PackageEntry> entries = parseSetupPackage(loadPackageResource());
    return entries;
}

// The standard parents exist on a real machine; staging creates them when they do not,
// and nothing ever removes them again.
InstallLocations locationsIn(const ScratchFolder& scratch)
{
    makeFolders(scratch / L"Common Files\\VST3");
    makeFolders(scratch / L"Program Files");
    return {scratch / L"Common Files\\VST3\\ElvaraSound.vst3", scratch / L"Program Files\\ElvaraSound"};
}

// The files that a tree must hold after an installation: exactly the package's.
TreeSnapshot expectedFiles(PackageTree tree)
{
    TreeSnapshot files;
    for (const PackageEntry& entry : shippedEntries()) {
        if (isPluginEntry(entry) != (tree == PackageTree::Bundle)) continue;
        std::wstring relative = entryRelativePath(entry, tree);
        std::replace(relative.begin(), relative.end(), L'/', L'\\');
        files[relative] = std::to_string(entry.data.length) + ":" + toLowerHex(entry.sha256);
    }
    return files;
}

TreeSnapshot filesOnly(const TreeSnapshot& snapshot)
{
    TreeSnapshot files;
    for (const auto& [name, kind] : snapshot)
        if (kind != "folder") files[name] = kind;
    return files;
}

void expectExactlyTheNewInstallation(const InstallLocations& locations)
{
    EXPECT_EQ(filesOnly(snapshotTree(locations.bundleFolder)), expectedFiles(PackageTree::Bundle));
    EXPECT_EQ(filesOnly(snapshotTree(locations.productFolder)), expectedFiles(PackageTree::Product));
}

std::string installFailure(const InstallLocations& locations, const ProgressCallback& progress = [](std::uint32_t) {})
{
    try {
        installPackage(shippedEntries(), locations, progress);
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return "installed";
}

// Working folders left beside the targets (".install-" or ".rollback-").
std::vector<std::wstring> workingFolders(const ScratchFolder& scratch)
{
    std::vector<std::wstring> found;
    for (const std::wstring& parent : {scratch / L"Common Files\\VST3", scratch / L"Program Files"})
        for (const std::wstring& name : folderNames(parent))
            if (name.find(L".install-") != std::wstring::npos || name.find(L".rollback-") != std::wstring::npos)
                found.push_back(name);
    return found;
}

// An older installation of our own: the shipped markers plus a file that the new package does not list.
void makeOldOwnInstallation(const InstallLocations& locations)
{
    ASSERT_EQ(installFailure(locations), "installed");
    writeFile(locations.bundleFolder + L"\\Contents\\Resources\\old-presets.bin", "old");
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

TEST(InstallTransaction, ReinstallReplacesOwnInstallationAndKeepsUnlistedFilesAside)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    makeOldOwnInstallation(locations);
    writeFile(locations.productFolder + L"\\my-notes.txt", "a user's own file");
    writeFile(locations.productFolder + L"\\README.txt", "an older read-me");

    ASSERT_EQ(installFailure(locations), "installed");
    expectExactlyTheNewInstallation(locations);
    // The files that the package does not name stay in their rollback folders.
    const auto left = workingFolders(scratch);
    ASSERT_EQ(left.size(), 2u);
    for (const std::wstring& name : left) EXPECT_NE(name.find(L".rollback-"), std::wstring::npos);
    const std::wstring productAside = std::wstring(scratch / L"Program Files\\") +
                                      (left[0].starts_with(L"ElvaraSound.rollback-") ? left[0] : left[1]);
    EXPECT_EQ(readFile(productAside + L"\\my-notes.txt"), "a user's own file");
    EXPECT_EQ(folderNames(productAside), std::vector<std::wstring>{L"my-notes.txt"});
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
        {"empty bundle folder", false, [](const InstallLocations& l) { makeFolders(l.bundleFolder); },
         "The existing ElvaraSound VST3 folder was not created by this installer. It will not be overwritten."},
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

TEST(InstallTransaction, PluginInUseOrMissingRefusesTheUpdate)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    makeOldOwnInstallation(locations);
    const std::wstring module = locations.bundleFolder + L"\\Contents\\x86_64-win\\ElvaraSound.vst3";
    const TreeSnapshot before = snapshotTree(scratch.path());
    {
        UniqueFile heldByHost(CreateFileW(module.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(heldByHost);
        EXPECT_EQ(installFailure(locations), "Close FL Studio and other DAWs before updating the plugin.");
    }
    EXPECT_EQ(snapshotTree(scratch.path()), before);

    DeleteFileW(module.c_str());
    const TreeSnapshot withoutModule = snapshotTree(scratch.path());
    EXPECT_EQ(installFailure(locations), "Close FL Studio and other DAWs before updating the plugin.");
    EXPECT_EQ(snapshotTree(scratch.path()), withoutModule);
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
                if (overExisting) {
                    const auto left = workingFolders(scratch);
                    ASSERT_EQ(left.size(), 1u) << where; // the bundle aside, with the unlisted preset file
                    EXPECT_NE(left[0].find(L"ElvaraSound.vst3.rollback-"), std::wstring::npos);
                } else {
                    EXPECT_TRUE(workingFolders(scratch).empty()) << where;
                }
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
    EXPECT_NE(failure.find(": \"" + folder + "\\Common Files\\VST3\\ElvaraSound.vst3.install-"), std::string::npos)
        << failure;
    EXPECT_EQ(snapshotTree(scratch.path()), before);
}

TEST(InstallTransaction, RemovePackageFilesDeletesOnlyNamedFiles)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    ASSERT_EQ(installFailure(locations), "installed");
    writeFile(locations.bundleFolder + L"\\Contents\\x86_64-win\\foreign.dll", "x");
    removePackageFiles(locations.bundleFolder, shippedEntries(), PackageTree::Bundle);
    removePackageFiles(locations.productFolder, shippedEntries(), PackageTree::Product);
    EXPECT_EQ(folderNames(locations.bundleFolder), std::vector<std::wstring>{L"Contents"});
    EXPECT_EQ(folderNames(locations.bundleFolder + L"\\Contents"), std::vector<std::wstring>{L"x86_64-win"});
    EXPECT_EQ(folderNames(locations.bundleFolder + L"\\Contents\\x86_64-win"),
              std::vector<std::wstring>{L"foreign.dll"});
    EXPECT_FALSE(pathExistsQuietly(locations.productFolder));
    EXPECT_TRUE(pathExistsQuietly(scratch / L"Common Files\\VST3")); // never removed
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
