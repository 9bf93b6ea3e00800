// Updates, repairs and downgrades between two crafted packages: what the previous
// installation's record lists is ours, everything else is the user's and keeps its
// place, and a kill at any step of the swap is put right without losing either.
#include "base/event_log.h"
#include "base/path_text.h"
#include "base/unique_handle.h"
#include "install/filesystem_ops.h"
#include "install/install_transaction.h"
#include "install/ownership.h"
#include "package/crypto.h"
#include "package/text.h"
#include "unit/built_package.h"
#include "unit/scratch_folder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>

using namespace elvara;
using namespace elvara::test;

namespace {

using Package = BuiltPackage;

std::vector<BuiltEntry> with(std::vector<BuiltEntry> more) { return minimalEntriesWith(std::move(more)); }

// A: an older release. B: drops PRIVACY.txt and Legacy/Guide.txt, adds CHANGES.txt and
// a factory preset inside the bundle, and changes the read-me.
const Package& packageA()
{
    static const Package a(with({{"Product/PRIVACY.txt", "privacy A"},
                                 {"Product/README.txt", "read-me A"},
                                 {"Product/Legacy/Guide.txt", "guide A"}}));
    return a;
}
const Package& packageB()
{
    static const Package b(with({{"Product/README.txt", "read-me B"},
                                 {"Product/CHANGES.txt", "changes B"},
                                 {"VST3/ElvaraSound.vst3/Contents/Resources/Presets/Factory.vstpreset", "factory B"}}));
    return b;
}

// A package's files in one tree, and its record, plus the given user files.
TreeSnapshot expectedTree(const Package& package, PackageTree tree, const std::map<std::wstring, std::string>& users)
{
    TreeSnapshot files;
    files[installRecordRelativePath(tree)] = contentSnapshot(formatInstallRecord(installRecordOf(package.entries, tree)));
    for (const PackageEntry& entry : package.entries) {
        if (treeOf(entry.name) != tree) continue;
        std::wstring relative = entryRelativePath(entry, tree);
        std::replace(relative.begin(), relative.end(), L'/', L'\\');
        files[relative] = std::to_string(entry.size) + ":" + toLowerHex(entry.sha256);
    }
    for (const auto& [relative, content] : users) files[relative] = contentSnapshot(content);
    return files;
}

void writeAll(const std::wstring& root, const std::map<std::wstring, std::string>& files)
{
    for (const auto& [relative, content] : files) {
        makeFolders(parentPath(appendPath(root, relative)));
        writeFile(appendPath(root, relative), content);
    }
}

std::string installFailure(const Package& package, const InstallLocations& locations,
                           FileOperations& operations = realFileOperations(), InstallOutcome* outcome = nullptr)
{
    try {
        InstallOutcome result = installPackage(package.entries, locations, [](std::uint32_t) {}, operations);
        if (outcome) *outcome = std::move(result);
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return "installed";
}

// The user's items that every case starts with: at the product's root, in a
// subfolder of it, and inside the bundle, where hosts keep user presets.
const std::map<std::wstring, std::string> usersProduct = {{L"MyNotes.txt", "my notes"},
                                                          {L"Presets\\Mine\\warm.preset", "warm"}};
const std::map<std::wstring, std::string> usersBundle = {
    {L"Contents\\Resources\\UserPresets\\Mine.vstpreset", "mine"}};

std::map<std::wstring, std::string> plus(std::map<std::wstring, std::string> a,
                                         const std::map<std::wstring, std::string>& b)
{
    a.insert(b.begin(), b.end());
    return a;
}

// Package A in place, with the user's items in both folders.
bool installedAWithTheUsersFiles(const InstallLocations& locations)
{
    if (installFailure(packageA(), locations) != "installed") return false;
    writeAll(locations.productFolder, usersProduct);
    writeAll(locations.bundleFolder, usersBundle);
    return true;
}

} // namespace

TEST(UpdateOwnership, UpdatesRepairsAndDowngradesKeepExactlyTheUsersFiles)
{
    struct Case {
        const char* title;
        const Package* from;
        const Package* to;
        std::map<std::wstring, std::string> productChanges, bundleChanges; // written after the first installation
        std::map<std::wstring, std::string> productKept, bundleKept;       // the user's files afterwards, besides the new package's
        std::vector<std::pair<std::wstring, std::wstring>> keptBeside;    // product-relative
    };
    const Case cases[] = {
        {"update A to B", &packageA(), &packageB(),
         // Legacy/Guide.txt changed by the user: theirs now; PRIVACY.txt unchanged: the old version's, removed.
         // CHANGES.txt is the user's own where B starts to ship one.
         {{L"Legacy\\Guide.txt", "my guide"}, {L"CHANGES.txt", "my changes"}},
         {},
         {{L"Legacy\\Guide.txt", "my guide"}, {L"CHANGES (yours).txt", "my changes"}},
         {},
         {{L"CHANGES.txt", L"CHANGES (yours).txt"}}},
        {"downgrade B to A", &packageB(), &packageA(),
         // CHANGES.txt unchanged goes; the factory preset changed by the user stays at its place.
         {{L"PRIVACY.txt", "my privacy notes"}},
         {{L"Contents\\Resources\\Presets\\Factory.vstpreset", "my tweaks"}},
         {{L"PRIVACY (yours).txt", "my privacy notes"}},
         {{L"Contents\\Resources\\Presets\\Factory.vstpreset", "my tweaks"}},
         {{L"PRIVACY.txt", L"PRIVACY (yours).txt"}}},
        {"repair A over A", &packageA(), &packageA(),
         // A package file the user edited is theirs: kept beside the restored one.
         {{L"README.txt", "my read-me"}},
         {},
         {{L"README (yours).txt", "my read-me"}},
         {},
         {{L"README.txt", L"README (yours).txt"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        ScratchFolder scratch;
        const InstallLocations locations = locationsIn(scratch);
        ASSERT_EQ(installFailure(*c.from, locations), "installed");
        writeAll(locations.productFolder, plus(usersProduct, c.productChanges));
        writeAll(locations.bundleFolder, plus(usersBundle, c.bundleChanges));

        InstallOutcome outcome;
        ASSERT_EQ(installFailure(*c.to, locations, realFileOperations(), &outcome), "installed");
        EXPECT_EQ(filesOnly(snapshotTree(locations.productFolder)),
                  expectedTree(*c.to, PackageTree::Product, plus(usersProduct, c.productKept)));
        EXPECT_EQ(filesOnly(snapshotTree(locations.bundleFolder)),
                  expectedTree(*c.to, PackageTree::Bundle, plus(usersBundle, c.bundleKept)));
        EXPECT_TRUE(workingFolders(scratch).empty());
        ASSERT_EQ(outcome.keptBeside.size(), c.keptBeside.size());
        for (std::size_t i = 0; i < c.keptBeside.size(); ++i) {
            EXPECT_EQ(outcome.keptBeside[i].original, appendPath(locations.productFolder, c.keptBeside[i].first));
            EXPECT_EQ(outcome.keptBeside[i].keptAs, appendPath(locations.productFolder, c.keptBeside[i].second));
        }
        // The new record describes exactly the new package.
        const auto record = readInstallRecord(locations.productFolder, PackageTree::Product);
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(formatInstallRecord(*record), formatInstallRecord(installRecordOf(c.to->entries, PackageTree::Product)));
    }
}

TEST(UpdateOwnership, ARecordInDoubtIsNoRecord)
{
    // Damaged records fall back to the running package's names: an obsolete file of A
    // is then the user's, never "everything is ours".
    const std::string cases[] = {"", "garbage\n", "ElvaraSound installation record 1\nversion 1\nend 0"};
    for (const std::string& damaged : cases) {
        ScratchFolder scratch;
        const InstallLocations locations = locationsIn(scratch);
        ASSERT_EQ(installFailure(packageA(), locations), "installed");
        writeFile(installRecordPath(locations.productFolder, PackageTree::Product), damaged);
        ASSERT_EQ(installFailure(packageB(), locations), "installed");
        EXPECT_EQ(readFile(locations.productFolder + L"\\PRIVACY.txt"), "privacy A")
            << "without a record, A's file is not provably ours: [" << damaged << "]";
        EXPECT_EQ(readFile(locations.productFolder + L"\\README.txt"), "read-me B");
    }
}

TEST(UpdateOwnership, AUsersFileHeldOpenRefusesTheUpdateBeforeTheSwap)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    ASSERT_TRUE(installedAWithTheUsersFiles(locations));
    const std::wstring held = locations.bundleFolder + L"\\Contents\\Resources\\UserPresets\\Mine.vstpreset";
    const TreeSnapshot before = snapshotTree(scratch.path());
    {
        UniqueFile holder(CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_EQ(installFailure(packageB(), locations),
                  "Your file " + wideToUtf8(held) +
                      " is in use by another program, so it cannot be kept in the updated installation. Close that "
                      "program, then run Setup again. Nothing was changed.");
        EXPECT_EQ(snapshotTree(scratch.path()), before) << "the installation must be as it was, the user's files too";
    }
    ASSERT_EQ(installFailure(packageB(), locations), "installed");
    EXPECT_EQ(readFile(held), "mine");
    EXPECT_TRUE(workingFolders(scratch).empty());
}

TEST(UpdateOwnership, AChangedFileHeldWithoutSharingWhileTheCarryJudgesItKeepsItsBytes)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    ASSERT_EQ(installFailure(packageA(), locations), "installed");
    const std::wstring readMe = locations.productFolder + L"\\README.txt";
    writeFile(readMe, "my read-me");
    // Held without sharing while the update decides what to carry (its bytes hidden),
    // released before the swap: the clean-up must read them before it deletes anything.
    class ReleasedAtTheSwap : public FileOperations {
    public:
        explicit ReleasedAtTheSwap(UniqueFile& holder) : holder_(holder) {}
        void rename(const std::wstring& from, const std::wstring& to) override
        {
            holder_.reset();
            FileOperations::rename(from, to);
        }

    private:
        UniqueFile& holder_;
    };
    UniqueFile holder(CreateFileW(readMe.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    ReleasedAtTheSwap operations(holder);
    ASSERT_EQ(installFailure(packageB(), locations, operations), "installed");
    EXPECT_EQ(readFile(locations.productFolder + L"\\README (yours).txt"), "my read-me");
    EXPECT_EQ(readFile(readMe), "read-me B");
    EXPECT_TRUE(workingFolders(scratch).empty());
}

namespace {

// Real operations until the chosen call of one kind; from then on the process is as
// good as dead: nothing changes on disk any more, so what the run left is what a
// kill at that step leaves.
class KilledFileOperations : public FileOperations {
public:
    enum Kind { Rename, Move };
    KilledFileOperations(Kind kind, unsigned call) : kind_(kind), call_(call) {}

    void rename(const std::wstring& from, const std::wstring& to) override
    {
        if (diesNow(Rename)) throw FilesystemFailure("rename", ERROR_PROCESS_ABORTED, from, to);
        FileOperations::rename(from, to);
    }
    DWORD moveWithoutReplacing(const std::wstring& from, const std::wstring& to) override
    {
        if (diesNow(Move)) return ERROR_PROCESS_ABORTED;
        return FileOperations::moveWithoutReplacing(from, to);
    }
    RemovalResult removeFile(const std::wstring& path) override
    {
        if (dead_) return {RemovalOutcome::Refused, ERROR_PROCESS_ABORTED};
        return FileOperations::removeFile(path);
    }
    RemovalResult removeFileIfUnchanged(const std::wstring& path, const RecordedFile& expected) override
    {
        if (dead_) return {RemovalOutcome::Refused, ERROR_PROCESS_ABORTED};
        return FileOperations::removeFileIfUnchanged(path, expected);
    }
    RemovalResult removeEmptyFolder(const std::wstring& path) override
    {
        if (dead_) return {RemovalOutcome::Refused, ERROR_PROCESS_ABORTED};
        return FileOperations::removeEmptyFolder(path);
    }

private:
    bool diesNow(Kind kind)
    {
        if (!dead_ && kind == kind_ && ++calls_ == call_) dead_ = true;
        return dead_;
    }
    Kind kind_;
    unsigned call_;
    unsigned calls_ = 0;
    bool dead_ = false;
};

} // namespace

TEST(UpdateOwnership, AKillAtAnyStepOfTheCarryOrTheSwapLosesNothing)
{
    struct Case {
        const char* title;
        KilledFileOperations::Kind kind;
        unsigned call;
    };
    const Case cases[] = {
        {"after the first user's item was carried", KilledFileOperations::Move, 2},
        {"before the bundle was moved aside", KilledFileOperations::Rename, 1},
        {"with the bundle aside", KilledFileOperations::Rename, 2},
        {"with both aside", KilledFileOperations::Rename, 3},
        {"with the new bundle in place", KilledFileOperations::Rename, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        ScratchFolder scratch;
        const InstallLocations locations = locationsIn(scratch);
        ASSERT_TRUE(installedAWithTheUsersFiles(locations));
        KilledFileOperations killed(c.kind, c.call);
        ASSERT_NE(installFailure(packageB(), locations, killed), "installed");

        // Whichever version is in place after the recovery, it is whole and the user's files are in it.
        recoverInterruptedRuns(packageB().entries, locations);
        EXPECT_TRUE(workingFolders(scratch).empty());
        for (const auto& [relative, content] : usersProduct)
            EXPECT_EQ(readFile(appendPath(locations.productFolder, relative)), content);
        for (const auto& [relative, content] : usersBundle)
            EXPECT_EQ(readFile(appendPath(locations.bundleFolder, relative)), content);

        ASSERT_EQ(installFailure(packageB(), locations), "installed");
        EXPECT_EQ(filesOnly(snapshotTree(locations.productFolder)),
                  expectedTree(packageB(), PackageTree::Product, usersProduct));
        EXPECT_EQ(filesOnly(snapshotTree(locations.bundleFolder)),
                  expectedTree(packageB(), PackageTree::Bundle, usersBundle));
        EXPECT_TRUE(workingFolders(scratch).empty());
    }
}

TEST(UpdateOwnership, APreviousInstallationThatCannotBePutBackIsNeverCleared)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    ASSERT_TRUE(installedAWithTheUsersFiles(locations));
    // A kill with the bundle moved aside.
    const std::wstring aside = locations.bundleFolder + L".rollback-00112233445566ff";
    ASSERT_TRUE(MoveFileExW(locations.bundleFolder.c_str(), aside.c_str(), 0));
    const TreeSnapshot before = snapshotTree(scratch.path());
    {
        // Something holds the folder set aside: a window whose current folder it is.
        wchar_t previous[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, previous);
        ASSERT_TRUE(SetCurrentDirectoryW(aside.c_str()));
        const std::string failure = installFailure(packageB(), locations);
        SetCurrentDirectoryW(previous);
        EXPECT_TRUE(failure.starts_with("The previous installation in " + wideToUtf8(aside) +
                                        " could not be put back in place ("))
            << failure;
        EXPECT_TRUE(failure.ends_with("). Nothing was removed. Close any program or window that uses this folder, "
                                      "then run Setup again."))
            << failure;
        EXPECT_EQ(snapshotTree(scratch.path()), before) << "the previous installation must survive whole";
    }
    ASSERT_EQ(installFailure(packageB(), locations), "installed") << "the next run completes";
    EXPECT_EQ(filesOnly(snapshotTree(locations.bundleFolder)),
              expectedTree(packageB(), PackageTree::Bundle, usersBundle));
    EXPECT_TRUE(workingFolders(scratch).empty());
}

namespace {

// Fails the chosen removals of files, and every rename once the first removal failed:
// a rollback that cannot finish.
class StuckRollbackOperations : public FileOperations {
public:
    explicit StuckRollbackOperations(unsigned failingRemoval) : failingRemoval_(failingRemoval) {}
    RemovalResult removeFile(const std::wstring& path) override
    {
        if (++removals_ == failingRemoval_) {
            stuck_ = true;
            return {RemovalOutcome::Refused, ERROR_SHARING_VIOLATION};
        }
        return FileOperations::removeFile(path);
    }
    void rename(const std::wstring& from, const std::wstring& to) override
    {
        if (stuck_) throw FilesystemFailure("rename", ERROR_SHARING_VIOLATION, from, to);
        FileOperations::rename(from, to);
    }
    bool stuck() const { return stuck_; }

private:
    unsigned failingRemoval_;
    unsigned removals_ = 0;
    bool stuck_ = false;
};

} // namespace

TEST(UpdateOwnership, AnUnfinishedRollbackKeepsTheNewFoldersMarker)
{
    for (unsigned failing = 1; failing <= 3; ++failing) {
        SCOPED_TRACE("removal " + std::to_string(failing) + " fails");
        ScratchFolder scratch;
        const InstallLocations locations = locationsIn(scratch);
        ASSERT_EQ(installFailure(packageA(), locations), "installed");
        writeAll(locations.productFolder, usersProduct);
        StuckRollbackOperations operations(failing);
        try {
            installPackage(packageB().entries, locations, [](std::uint32_t percent) {
                if (percent == 95) throw std::runtime_error("injected");
            }, operations);
            ADD_FAILURE() << "installed";
        } catch (const std::exception&) {
        }
        ASSERT_TRUE(operations.stuck());
        const std::wstring marker = locations.productFolder + L"\\install-marker.txt";
        EXPECT_EQ(readFile(marker), "ElvaraSound-Livewire-CF9A52D3-v1\n")
            << "a half-undone folder that lost its marker would be refused for good";
        ASSERT_EQ(installFailure(packageB(), locations), "installed");
        EXPECT_EQ(filesOnly(snapshotTree(locations.productFolder)),
                  expectedTree(packageB(), PackageTree::Product, usersProduct));
        EXPECT_TRUE(workingFolders(scratch).empty());
    }
}

TEST(UpdateOwnership, RecoveryPutsBackTheNewestOfSeveralPreviousInstallations)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    ASSERT_EQ(installFailure(packageA(), locations), "installed");
    // Two interrupted updates, one after the other, each leaving the bundle aside.
    const std::wstring older = locations.bundleFolder + L".rollback-1111111111111111";
    const std::wstring newer = locations.bundleFolder + L".rollback-0000000000000000";
    ASSERT_TRUE(CopyFileW((locations.bundleFolder + L"\\Contents\\Resources\\elvara-product.txt").c_str(),
                          (scratch / L"marker").c_str(), FALSE));
    for (const std::wstring& aside : {older, newer}) {
        makeFolders(aside + L"\\Contents\\Resources");
        ASSERT_TRUE(CopyFileW((scratch / L"marker").c_str(), (aside + L"\\Contents\\Resources\\elvara-product.txt").c_str(),
                              FALSE));
        writeFile(aside + L"\\Contents\\Resources\\which.txt", aside == newer ? "newer" : "older");
        makeFolders(aside + L"\\Contents\\x86_64-win"); // a package file: an installation, not only a marker
        writeFile(aside + L"\\Contents\\x86_64-win\\ElvaraSound.vst3", "MZ plugin");
        Sleep(1100); // creation times a second apart
    }
    removeTree(locations.bundleFolder);
    recoverInterruptedRuns(packageA().entries, locations);
    EXPECT_EQ(readFile(locations.bundleFolder + L"\\Contents\\Resources\\which.txt"), "newer");
    EXPECT_EQ(readFile(locations.bundleFolder + L"\\Contents\\Resources\\which (yours).txt"), "older")
        << "the older one's user file is kept too";
    EXPECT_TRUE(workingFolders(scratch).empty());
}

TEST(UpdateOwnership, AFailedUpdateGivesBackThePreviousInstallationWithTheUsersFiles)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    ASSERT_TRUE(installedAWithTheUsersFiles(locations));
    const TreeSnapshot before = snapshotTree(scratch.path());
    // The last step before the commit fails: both new folders are in place and hold the user's items.
    EXPECT_THROW(installPackage(packageB().entries, locations,
                                [](std::uint32_t percent) {
                                    if (percent == 95) throw std::runtime_error("injected");
                                }),
                 std::runtime_error);
    EXPECT_EQ(snapshotTree(scratch.path()), before) << "the previous installation, the user's items back in it";
}

// What a kill left is never put into a folder that is not ours: when a foreign folder
// took the product folder's place, the previous installation and the user's items stay
// in the working folders, and Setup refuses the foreign folder.
TEST(UpdateOwnership, LeftoversNeverMoveIntoAFolderThatIsNotOurs)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    ASSERT_EQ(installFailure(packageA(), locations), "installed");
    writeAll(locations.productFolder, usersProduct);
    KilledFileOperations killed(KilledFileOperations::Rename, 3); // both folders aside
    ASSERT_NE(installFailure(packageB(), locations, killed), "installed");
    makeFolders(locations.productFolder);
    writeFile(locations.productFolder + L"\\theirs.txt", "another program's");
    const TreeSnapshot foreign = snapshotTree(locations.productFolder);

    recoverInterruptedRuns(packageB().entries, locations);
    EXPECT_EQ(snapshotTree(locations.productFolder), foreign);
    std::vector<std::wstring> productWorkingFolders;
    for (const std::wstring& name : workingFolders(scratch))
        if (name.starts_with(L"ElvaraSound.install-") || name.starts_with(L"ElvaraSound.rollback-"))
            productWorkingFolders.push_back(scratch / (L"Program Files\\" + name));
    ASSERT_EQ(productWorkingFolders.size(), 2u) << "the previous installation and the staged one with the user's items";
    for (const auto& [relative, content] : usersProduct) {
        const bool keptSomewhere = std::any_of(productWorkingFolders.begin(), productWorkingFolders.end(),
                                               [&](const std::wstring& folder) {
                                                   const std::wstring path = appendPath(folder, relative);
                                                   return pathExistsQuietly(path) && readFile(path) == content;
                                               });
        EXPECT_TRUE(keptSomewhere) << wideToUtf8(relative);
    }
    EXPECT_EQ(installFailure(packageB(), locations),
              "The existing product folder is not an ElvaraSound installation. It will not be overwritten.");
}

namespace {

// Real operations, except that the swap's first rename fails and, after the carry's
// forward moves, every move fails: a rollback that cannot give the user's items back.
class NoWayBackOperations : public FileOperations {
public:
    explicit NoWayBackOperations(unsigned forwardMoves) : forwardMoves_(forwardMoves) {}
    void rename(const std::wstring& from, const std::wstring& to) override
    {
        if (++renames_ == 1) throw FilesystemFailure("rename", ERROR_INVALID_FUNCTION, from, to);
        FileOperations::rename(from, to);
    }
    DWORD moveWithoutReplacing(const std::wstring& from, const std::wstring& to) override
    {
        if (++moves_ > forwardMoves_) return ERROR_WRITE_PROTECT;
        return FileOperations::moveWithoutReplacing(from, to);
    }

private:
    unsigned forwardMoves_;
    unsigned renames_ = 0;
    unsigned moves_ = 0;
};

} // namespace

TEST(UpdateOwnership, AUsersFileThatARollbackCannotGiveBackIsNamedWithWhereItIs)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    ASSERT_EQ(installFailure(packageA(), locations), "installed");
    const std::wstring notes = locations.productFolder + L"\\MyNotes.txt";
    writeFile(notes, "my notes");
    const ScratchFolder logFolder;
    event_log::open(logFolder / L"install.log");
    NoWayBackOperations operations(1);
    const std::string failure = installFailure(packageB(), locations, operations);
    event_log::close();

    std::wstring stays;
    for (const std::wstring& name : workingFolders(scratch))
        if (name.starts_with(L"ElvaraSound.install-")) stays = scratch / (L"Program Files\\" + name + L"\\MyNotes.txt");
    ASSERT_FALSE(stays.empty()) << "the staged folder keeps the item it could not give back";
    EXPECT_EQ(readFile(stays), "my notes");
    const std::string expected =
        "Your file " + wideToUtf8(notes) + " could not be put back (" + systemErrorDescription(ERROR_WRITE_PROTECT) +
        "); it is now " + wideToUtf8(stays) + ".";
    EXPECT_NE(failure.find(expected), std::string::npos) << failure;
    EXPECT_NE(readFile(logFolder / L"install.log").find("rollback: could not put back the user's " + wideToUtf8(notes)),
              std::string::npos);

    // The next run gives it back and installs.
    ASSERT_EQ(installFailure(packageB(), locations), "installed");
    EXPECT_EQ(readFile(notes), "my notes");
    EXPECT_TRUE(workingFolders(scratch).empty());
}

TEST(UpdateOwnership, AChangedFileBesideAnEarlierKeptOneGetsTheNextName)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    ASSERT_EQ(installFailure(packageA(), locations), "installed");
    writeFile(locations.productFolder + L"\\README (yours).txt", "kept by an earlier update");
    writeFile(locations.productFolder + L"\\README.txt", "my read-me");
    InstallOutcome outcome;
    ASSERT_EQ(installFailure(packageA(), locations, realFileOperations(), &outcome), "installed");
    EXPECT_EQ(readFile(locations.productFolder + L"\\README.txt"), "read-me A");
    EXPECT_EQ(readFile(locations.productFolder + L"\\README (yours).txt"), "kept by an earlier update");
    EXPECT_EQ(readFile(locations.productFolder + L"\\README (yours 2).txt"), "my read-me");
    ASSERT_EQ(outcome.keptBeside.size(), 1u);
    EXPECT_EQ(outcome.keptBeside[0].keptAs, locations.productFolder + L"\\README (yours 2).txt");
}

namespace {

// Both install folders hold the same package's installation, by their records.
bool bothTreesHold(const InstallLocations& locations, const Package& package)
{
    const auto bundle = readInstallRecord(locations.bundleFolder, PackageTree::Bundle);
    const auto product = readInstallRecord(locations.productFolder, PackageTree::Product);
    return bundle && product &&
           formatInstallRecord(*bundle) == formatInstallRecord(installRecordOf(package.entries, PackageTree::Bundle)) &&
           formatInstallRecord(*product) == formatInstallRecord(installRecordOf(package.entries, PackageTree::Product));
}

// Plug-in modules that a host scanning the VST3 folder through and through would find
// besides the installed one.
std::vector<std::wstring> strayModules(const std::wstring& folder, const std::wstring& installed)
{
    std::vector<std::wstring> found;
    for (const std::wstring& name : folderNames(folder)) {
        const std::wstring path = folder + L"\\" + name;
        if (sameLocation(path, installed)) continue;
        if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            for (std::wstring& inner : strayModules(path, installed)) found.push_back(std::move(inner));
        } else if (name.ends_with(L".vst3")) {
            found.push_back(path);
        }
    }
    return found;
}

} // namespace

TEST(UpdateOwnership, AnInterruptedRunIsUndoneInBothTreesAndGivesBackTheUsersNames)
{
    struct Case {
        const char* title;
        bool firstInstallation;
        unsigned killedAtRename; // counted from 1 in the swap: aside, aside, into place, into place
    };
    const Case cases[] = {
        {"a first installation, killed between its two moves into place", true, 2},
        {"an update killed after its carry, before the swap", false, 1},
        {"an update killed with both trees set aside", false, 3},
        {"an update killed with the new bundle in place", false, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        ScratchFolder scratch;
        const InstallLocations locations = locationsIn(scratch);
        if (!c.firstInstallation) {
            ASSERT_TRUE(installedAWithTheUsersFiles(locations));
            // Names that B takes: the carry keeps these as "(yours)" in B's staged folder.
            writeFile(locations.productFolder + L"\\README.txt", "my read-me");
            writeFile(locations.productFolder + L"\\CHANGES.txt", "my changes");
        }
        KilledFileOperations killed(KilledFileOperations::Rename, c.killedAtRename);
        ASSERT_NE(installFailure(packageB(), locations, killed), "installed");
        EXPECT_TRUE(strayModules(scratch / L"Common Files\\VST3", locations.bundleFolder).empty())
            << "a host would find a second plug-in";

        // The next run is the previous version's.
        recoverInterruptedRuns(packageA().entries, locations);
        EXPECT_TRUE(workingFolders(scratch).empty());
        if (c.firstInstallation) {
            EXPECT_FALSE(pathExistsQuietly(locations.bundleFolder)) << "no plug-in without its product folder";
            EXPECT_FALSE(pathExistsQuietly(locations.productFolder));
            continue;
        }
        EXPECT_TRUE(bothTreesHold(locations, packageA())) << "one version in both trees";
        EXPECT_EQ(readFile(locations.productFolder + L"\\README.txt"), "my read-me") << "its own name back";
        EXPECT_EQ(readFile(locations.productFolder + L"\\CHANGES.txt"), "my changes") << "its own name back";
        EXPECT_FALSE(pathExistsQuietly(locations.productFolder + L"\\README (yours).txt"));
        EXPECT_FALSE(pathExistsQuietly(locations.productFolder + L"\\CHANGES (yours).txt"));
        for (const auto& [relative, content] : plus(usersProduct, {}))
            EXPECT_EQ(readFile(appendPath(locations.productFolder, relative)), content);
        for (const auto& [relative, content] : usersBundle)
            EXPECT_EQ(readFile(appendPath(locations.bundleFolder, relative)), content);
    }
}

TEST(UpdateOwnership, ARollbackThatStopsAtItsFirstRenameLeavesOneVersionAfterRecovery)
{
    ScratchFolder scratch;
    const InstallLocations locations = locationsIn(scratch);
    ASSERT_TRUE(installedAWithTheUsersFiles(locations));
    // Both new folders in place, then a failure; the rollback's first rename (the new
    // product aside) fails too, so both new folders stay where they are.
    class FirstRollbackRenameFails : public FileOperations {
    public:
        void rename(const std::wstring& from, const std::wstring& to) override
        {
            if (++renames_ == 5) throw FilesystemFailure("rename", ERROR_SHARING_VIOLATION, from, to);
            FileOperations::rename(from, to);
        }

    private:
        unsigned renames_ = 0;
    } operations;
    EXPECT_THROW(installPackage(packageB().entries, locations,
                                [](std::uint32_t percent) {
                                    if (percent == 95) throw std::runtime_error("injected");
                                },
                                operations),
                 std::exception);
    recoverInterruptedRuns(packageA().entries, locations);
    EXPECT_TRUE(bothTreesHold(locations, packageB())) << "its swap had finished: the new version in both";
    EXPECT_TRUE(workingFolders(scratch).empty());
    for (const auto& [relative, content] : usersProduct)
        EXPECT_EQ(readFile(appendPath(locations.productFolder, relative)), content);
}
