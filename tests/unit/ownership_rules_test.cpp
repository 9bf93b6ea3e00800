// One table of states, judged by every program that decides whose a file is: Setup's
// update, the recovery of an interrupted run, and the uninstaller. Each must reach the
// same verdict for each state, on real files: what is ours goes, what is the user's
// keeps every byte, and a folder that is not provably ours is left as it was.
#include "base/event_log.h"
#include "base/path_text.h"
#include "install/filesystem_ops.h"
#include "install/install_transaction.h"
#include "install/ownership.h"
#include "install/recovery.h"
#include "package/text.h"
#include "uninstall.h"
#include "unit/built_package.h"
#include "unit/scratch_folder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

using namespace elvara;
using namespace elvara::test;

namespace {

const BuiltPackage& packageA()
{
    static const BuiltPackage a(
        minimalEntriesWith({{"Product/README.txt", "read-me A"}, {"Product/PRIVACY.txt", "privacy A"}}));
    return a;
}

constexpr char usersReadMe[] = "my own read-me";
constexpr wchar_t freshToken[] = L"00112233445566aa";

enum class Verdict {
    Ours,          // it goes (and the package's own file takes its name again)
    Users,         // every byte of it stays, at its name or beside it as "(yours)"
    Missing,       // nothing is there, nothing appears
    Link,          // never followed: what it leads to is untouched
    NobodysFolder, // a tree of empty folders: taken over or removed
    Unlistable,    // not empty: named, and kept with everything in it
    NotOurs,       // the folder's marker is not exact: the folder stays as it was
};

struct Fixtures {
    std::wstring links;      // ELVARA_LINK_FIXTURE
    std::wstring unlistable; // ELVARA_UNLISTABLE_FIXTURE
};

std::optional<Fixtures> fixtures()
{
    const wchar_t* links = _wgetenv(L"ELVARA_LINK_FIXTURE");
    const wchar_t* unlistable = _wgetenv(L"ELVARA_UNLISTABLE_FIXTURE");
    if (links == nullptr || unlistable == nullptr) return std::nullopt;
    return Fixtures{links, unlistable};
}

// Where one caller meets the state: the product folder, whose parent may lie in a
// fixture, and what the row put there.
struct Stage {
    const char* caller;
    InstallLocations locations;
    std::wstring subject; // the row's file or folder, full path
    std::wstring movedIn; // a fixture folder moved into the product folder, to be given back
};

struct Row {
    const char* title;
    std::wstring subject; // relative to the product folder
    std::function<void(Stage&, const Fixtures&)> make;
    Verdict verdict;
};

void installA(const InstallLocations& locations)
{
    installPackage(packageA().entries, locations, [](std::uint32_t) {});
}

const Row rows[] = {
    {"a recorded file, unchanged", L"README.txt", [](Stage&, const Fixtures&) {}, Verdict::Ours},
    {"a recorded file changed by the user", L"README.txt",
     [](Stage& stage, const Fixtures&) { writeFile(stage.subject, usersReadMe); }, Verdict::Users},
    {"a recorded file, missing", L"README.txt", [](Stage& stage, const Fixtures&) { DeleteFileW(stage.subject.c_str()); },
     Verdict::Missing},
    {"a file of the user's own at a name the package does not ship", L"MyNotes.txt",
     [](Stage& stage, const Fixtures&) { writeFile(stage.subject, usersReadMe); }, Verdict::Users},
    {"a record re-saved with CR LF, a recorded file changed", L"README.txt",
     [](Stage& stage, const Fixtures&) {
         const std::wstring record = installRecordPath(stage.locations.productFolder, PackageTree::Product);
         std::string text;
         for (char c : readFile(record)) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
         writeFile(record, text);
         writeFile(stage.subject, usersReadMe);
     },
     Verdict::Users},
    {"a recorded file replaced by a link", L"README.txt",
     [](Stage& stage, const Fixtures& fixtures) {
         // A file link can only be made on the Unix side: the fixture's own installation.
         stage.locations.productFolder = fixtures.links + L"\\linked\\" + utf8ToWide(stage.caller) + L"\\ElvaraSound";
         stage.subject = stage.locations.productFolder + L"\\README.txt";
     },
     Verdict::Link},
    {"a folder holding only empty folders", L"Presets\\Empty",
     [](Stage& stage, const Fixtures&) {
         removeTree(stage.locations.productFolder);
         makeFolders(stage.subject);
     },
     Verdict::NobodysFolder},
    {"a folder that cannot be listed", L"Presets",
     [](Stage& stage, const Fixtures& fixtures) {
         const std::wstring from = fixtures.unlistable + L"\\" + utf8ToWide(stage.caller);
         ASSERT_TRUE(MoveFileW(from.c_str(), stage.subject.c_str())) << GetLastError();
         stage.movedIn = from;
     },
     Verdict::Unlistable},
    {"the marker cut short", L"README.txt",
     [](Stage& stage, const Fixtures&) {
         writeFile(markerPath(stage.locations.productFolder, PackageTree::Product), "ElvaraSound-Live");
     },
     Verdict::NotOurs},
    {"a marker of someone else's", L"README.txt",
     [](Stage& stage, const Fixtures&) {
         writeFile(markerPath(stage.locations.productFolder, PackageTree::Product), "Someone else's marker\n");
     },
     Verdict::NotOurs},
};

struct CallerRun {
    bool succeeded = false;
    std::string text; // the failure or refusal, then the log
};

std::string logText(const std::wstring& path)
{
    event_log::close();
    return readFile(path);
}

// Setup installs the same package again over the state.
CallerRun runUpdate(Stage& stage, const ScratchFolder& logFolder)
{
    CallerRun run{true, {}};
    event_log::open(logFolder / L"run.log");
    try {
        installA(stage.locations);
    } catch (const std::exception& failure) {
        run = {false, failure.what()};
    }
    run.text += "\n" + logText(logFolder / L"run.log");
    return run;
}

// The state as the folder that a killed update set aside, with a fresh installation
// of ours in its place; then the next run's recovery.
CallerRun runRecovery(Stage& stage, const ScratchFolder& logFolder)
{
    const std::wstring product = stage.locations.productFolder;
    const std::wstring rollback = workingFolderPath(product, PackageTree::Product, WorkingKind::Rollback, freshToken);
    const std::wstring fresh = parentPath(product) + L"\\Fresh";
    EXPECT_TRUE(MoveFileW(product.c_str(), rollback.c_str())) << GetLastError();
    if (!stage.movedIn.empty()) stage.subject = rollback + stage.subject.substr(product.size());
    installA({stage.locations.bundleFolder, fresh});
    EXPECT_TRUE(MoveFileW(fresh.c_str(), product.c_str())) << GetLastError();
    CallerRun run{true, {}};
    event_log::open(logFolder / L"run.log");
    try {
        recoverInterruptedRuns(packageA().entries, stage.locations);
    } catch (const std::exception& failure) {
        run = {false, failure.what()};
    }
    run.text += "\n" + logText(logFolder / L"run.log");
    return run;
}

// The uninstaller's plan and removal, judging by the same running package.
CallerRun runUninstall(Stage& stage, const ScratchFolder& logFolder)
{
    CallerRun run{true, {}};
    event_log::open(logFolder / L"run.log");
    UninstallPlan plan = planUninstall(L"C:\\elsewhere\\Uninstall.exe", InstallScope::Machine, stage.locations,
                                       runningPackageRecord(packageA().entries));
    if (plan.refusal) {
        run = {false, wideToUtf8(*plan.refusal)};
    } else {
        plan.entryPresent = false; // the machine's real entry is not this test's
        const UninstallReport report = carryOutUninstall(plan);
        run.succeeded = report.outcome != UninstallOutcome::Incomplete;
        for (const std::wstring& problem : report.problems) run.text += wideToUtf8(problem) + "\n";
    }
    run.text += "\n" + logText(logFolder / L"run.log");
    return run;
}

bool anyNameHolds(const TreeSnapshot& snapshot, std::wstring_view part)
{
    return std::any_of(snapshot.begin(), snapshot.end(),
                       [&](const auto& entry) { return entry.first.find(part) != std::wstring::npos; });
}

std::vector<std::wstring> filesHolding(const TreeSnapshot& snapshot, const std::string& content)
{
    std::vector<std::wstring> found;
    for (const auto& [path, value] : snapshot)
        if (value == contentSnapshot(content)) found.push_back(path);
    return found;
}

std::string packageReadMe() { return "read-me A"; }

void expectVerdict(const Row& row, const Stage& stage, const CallerRun& run, const TreeSnapshot& before,
                   const TreeSnapshot& after, const std::wstring& root)
{
    const std::string caller = stage.caller;
    const bool uninstalling = caller == "uninstall";
    const std::wstring product = stage.locations.productFolder;
    const std::wstring productRelative = product.substr(root.size() + 1);
    const std::wstring readMe = productRelative + L"\\README.txt";
    switch (row.verdict) {
    case Verdict::Ours:
    case Verdict::Missing:
        EXPECT_TRUE(run.succeeded) << run.text;
        EXPECT_FALSE(anyNameHolds(after, L"(yours")) << "nothing of the user's was there";
        EXPECT_FALSE(anyNameHolds(after, L".rollback-") || anyNameHolds(after, L".install-"));
        if (uninstalling)
            EXPECT_FALSE(anyNameHolds(after, productRelative)) << "the product folder goes";
        else
            EXPECT_EQ(after.at(readMe), contentSnapshot(packageReadMe()));
        break;
    case Verdict::Users: {
        EXPECT_TRUE(run.succeeded) << run.text;
        const std::vector<std::wstring> kept = filesHolding(after, usersReadMe);
        ASSERT_EQ(kept.size(), 1u) << "the user's bytes, exactly once";
        EXPECT_TRUE(kept[0].starts_with(productRelative + L"\\")) << "kept in the install folder";
        if (uninstalling) {
            EXPECT_EQ(kept[0], productRelative + L"\\" + row.subject) << "kept at its place";
            EXPECT_TRUE(after.contains(productRelative + L"\\install-marker.txt"));
            EXPECT_TRUE(after.contains(productRelative + L"\\elvara-installed-files.txt"))
                << "a folder that keeps the marker keeps its record";
        } else {
            EXPECT_TRUE(kept[0] == productRelative + L"\\" + row.subject ||
                        kept[0] == productRelative + L"\\" + derivedUserName(row.subject, 1));
            EXPECT_EQ(after.at(readMe), contentSnapshot(packageReadMe()));
        }
        EXPECT_FALSE(anyNameHolds(after, L".rollback-") || anyNameHolds(after, L".install-"));
        break;
    }
    case Verdict::Link: {
        const std::wstring decoy = fixtures()->links + L"\\decoys\\decoy.txt";
        EXPECT_EQ(readFile(decoy), "a user's file outside the product\n") << "never followed";
        // The link itself is never deleted: it stays at its place or in the folder set aside.
        bool found = false;
        for (const std::wstring& name : folderNames(parentPath(product))) {
            const std::wstring link = parentPath(product) + L"\\" + name + L"\\README.txt";
            found = found || ((name == L"ElvaraSound" || name.starts_with(L"ElvaraSound.rollback-")) &&
                              GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES &&
                              readFile(link) == readFile(decoy));
        }
        EXPECT_TRUE(found) << "the link stays";
        if (uninstalling) {
            EXPECT_FALSE(run.succeeded) << "the uninstaller refuses a link where a package file belongs";
        }
        break;
    }
    case Verdict::NobodysFolder:
        EXPECT_TRUE(run.succeeded) << run.text;
        EXPECT_FALSE(anyNameHolds(after, L".rollback-") || anyNameHolds(after, L".install-"));
        if (uninstalling)
            EXPECT_FALSE(anyNameHolds(after, productRelative)) << "an empty tree is removed";
        else
            EXPECT_EQ(after.at(readMe), contentSnapshot(packageReadMe())) << "the installation stands";
        break;
    case Verdict::Unlistable:
        // Its bytes cannot be read here; the fixture checks them once the folder is given back.
        EXPECT_EQ(inspectEntry(stage.subject), EntryKind::Folder) << "kept, where it was";
        EXPECT_NE(run.text.find(wideToUtf8(stage.subject)), std::string::npos)
            << "the folder is named: " << run.text;
        if (caller != "recovery") {
            EXPECT_FALSE(run.succeeded);
            EXPECT_EQ(after, before) << "nothing changed";
        }
        break;
    case Verdict::NotOurs:
        if (caller == "recovery") {
            EXPECT_TRUE(anyNameHolds(after, L".rollback-")) << "a folder not provably ours is left alone";
            EXPECT_NE(run.text.find("not ours, left alone"), std::string::npos) << run.text;
        } else {
            EXPECT_FALSE(run.succeeded);
            EXPECT_EQ(after, before) << "nothing changed";
        }
        break;
    }
}

} // namespace

TEST(OwnershipRules, EveryCallerReachesTheSameVerdictForEachState)
{
    const std::optional<Fixtures> fixture = fixtures();
    if (!fixture) GTEST_SKIP() << "needs tests/harness/with-link-fixture.sh and setpriv";
    const std::pair<const char*, std::function<CallerRun(Stage&, const ScratchFolder&)>> callers[] = {
        {"update", runUpdate}, {"recovery", runRecovery}, {"uninstall", runUninstall}};
    for (const Row& row : rows) {
        for (const auto& [caller, runCaller] : callers) {
            SCOPED_TRACE(std::string(row.title) + ", " + caller);
            ScratchFolder scratch;
            Stage stage{caller, locationsIn(scratch), {}, {}};
            installA(stage.locations);
            stage.subject = stage.locations.productFolder + L"\\" + row.subject;
            row.make(stage, *fixture);
            if (row.verdict == Verdict::Unlistable) {
                WIN32_FIND_DATAW found{};
                ASSERT_EQ(FindFirstFileExW((stage.subject + L"\\*").c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0),
                          INVALID_HANDLE_VALUE)
                    << "the fixture's folder must refuse to be listed (run under setpriv)";
            }
            const std::wstring root = parentPath(parentPath(stage.locations.productFolder));
            const TreeSnapshot before = snapshotTree(root);
            const ScratchFolder logFolder;
            const CallerRun run = runCaller(stage, logFolder);
            expectVerdict(row, stage, run, before, snapshotTree(root), root);
            if (!stage.movedIn.empty()) MoveFileW(stage.subject.c_str(), stage.movedIn.c_str());
        }
    }
}
