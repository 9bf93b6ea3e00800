#include "uninstall.h"

#include "base/event_log.h"
#include "base/executable_path.h"
#include "base/file_identity.h"
#include "base/path_text.h"
#include "base/product.h"
#include "base/unique_handle.h"
#include "install/filesystem_ops.h"
#include "install/folder_tree.h"
#include "install/install_locations.h"
#include "install/ownership.h"
#include "install/uninstall_registration.h"
#include "install/verified_removal.h"
#include "package/crypto.h"
#include "package/package_format.h"
#include "package/text.h"
#include "self_removal.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <set>

namespace elvara {

namespace {

struct BuiltInFile {
    const char* name;
    std::uint64_t size;
    const char* sha256; // 64 lower-case hex digits
};
#include "package_files.inc"

// This program's own bytes: the package's Uninstall.exe is this very file.
std::optional<RecordedFile> ownFile()
{
    const UniqueFile self(CreateFileW(executablePath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!self || !GetFileSizeEx(self.get(), &size) || size.QuadPart <= 0 || size.QuadPart > (64 << 20))
        return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!ReadFile(self.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size())
        return std::nullopt;
    RecordedFile file{std::string(package_format::uninstallerName), bytes.size(), {}};
    const std::vector<std::uint8_t> digest = sha256Digest({bytes.data(), bytes.size()});
    std::copy_n(digest.begin(), std::min(digest.size(), file.sha256.size()), file.sha256.begin());
    return file;
}

// The folder's record names its files of ours (whichever version wrote it), and a
// recorded file whose bytes changed since is the user's; without a valid record, the
// files of the running package, by name and bytes.
TreeLayout layoutOf(const std::wstring& folder, PackageTree tree, const InstallRecord& runningPackage)
{
    const TreeOwnership ours = TreeOwnership::installedIn(folder, tree, runningPackage);
    TreeLayout layout;
    layout.folder = folder;
    layout.marker = markerPath(folder, tree);
    layout.record = installRecordPath(folder, tree);
    for (const std::wstring& relative : ours.listedFiles()) {
        const std::wstring path = appendPath(folder, relative);
        // A link stays the survey's to refuse.
        if (inspectEntry(path) != EntryKind::File || ours.isOurs(relative)) layout.packageFiles.push_back(path);
    }
    // The marker is read whatever it holds: an altered one makes the folder foreign. A
    // record that does not parse is a file of the user's, as any other.
    if (!isOneOf(layout.marker, layout.packageFiles)) layout.packageFiles.push_back(layout.marker);
    const std::wstring executable = packageFilePath(
        folder, tree == PackageTree::Bundle ? package_format::pluginModuleName : package_format::uninstallerName);
    layout.executables.push_back(executable);
    if (tree == PackageTree::Bundle) layout.pluginModule = executable;
    return layout;
}

const std::wstring& uninstallerOf(const UninstallPlan& plan) { return plan.productLayout.executables.front(); }

bool isProofOf(const TreeLayout& layout, const std::wstring& path) noexcept
{
    return sameLocation(path, layout.marker) || sameLocation(path, layout.record);
}

// Whether the tree holds anything that this run would remove.
bool holdsWork(const TreeLayout& layout, const TreeSurvey& survey, const std::wstring& runningExecutable)
{
    if (survey.present && survey.holdsNoFiles) return true; // an empty folder is nobody's: it goes
    const bool runsInside = isOneOf(runningExecutable, survey.packageFiles);
    for (const std::wstring& file : survey.packageFiles) {
        if (sameLocation(file, runningExecutable)) continue;
        // A folder that keeps anything keeps its proof.
        if (isProofOf(layout, file) && (!survey.userFiles.empty() || runsInside)) continue;
        return true;
    }
    return false;
}

std::wstring reasonOf(const RemovalResult& result)
{
    if (result.outcome == RemovalOutcome::NotOurs) return L"replaced by a link or by another kind of entry";
    return utf8ToWide(systemErrorDescription(result.error));
}

class Removal {
public:
    explicit Removal(UninstallReport& report) : report_(report) {}

    bool file(const std::wstring& path)
    {
        const RemovalResult result = removeFileVerified(path);
        if (result.outcome == RemovalOutcome::Removed) {
            removedSomething = true;
            event_log::write(L"removed " + path);
        }
        if (result.outcome == RemovalOutcome::Removed || result.outcome == RemovalOutcome::Absent) return true;
        problem(path, reasonOf(result));
        return false;
    }

    // Folders that still hold a user's file stay; that is not a problem. A folder
    // that another program holds (a window open in it) is, and it is named.
    void emptiedFolders(const TreeSurvey& survey)
    {
        for (const std::wstring& folder : survey.packageFolders) {
            const RemovalResult result = removeEmptyFolderVerified(folder);
            if (result.outcome == RemovalOutcome::Removed) {
                removedSomething = true;
                event_log::write(L"removed " + folder);
            } else if (result.outcome == RemovalOutcome::NotOurs ||
                       (result.outcome == RemovalOutcome::Refused && result.error != ERROR_DIR_NOT_EMPTY &&
                        holdsNoFiles(folder))) {
                problem(folder, meansHeldByAnotherProgram(result.error)
                                    ? L"in use by another program (a window or command prompt open in it counts)"
                                    : reasonOf(result));
            }
        }
    }

    // The record and the marker, then the folders: only from a folder that holds
    // nothing else, as the ownership rules say.
    void wholeTree(const TreeLayout& layout, PackageTree tree, const TreeSurvey& survey)
    {
        const TreeOwnership ours = TreeOwnership::installedIn(layout.folder, tree, builtInPackage());
        if (!holdsOnlyItsProof(ours)) return;
        for (const std::wstring& proof : ours.ownedProof())
            if (!file(proof)) return;
        const std::size_t known = paths_.size();
        emptiedFolders(survey);
        if (paths_.size() == known && inspectEntry(layout.folder) != EntryKind::Absent)
            problem(layout.folder, L"the folder could not be removed");
    }

    // One line per path: the first reason found for it.
    void problem(const std::wstring& path, const std::wstring& reason)
    {
        if (std::find(paths_.begin(), paths_.end(), path) != paths_.end()) return;
        paths_.push_back(path);
        report_.problems.push_back(path + L": " + reason);
        event_log::write(L"not removed: " + report_.problems.back());
    }

    bool removedSomething = false;

private:
    UninstallReport& report_;
    std::vector<std::wstring> paths_;
};

} // namespace

const InstallRecord& builtInPackage()
{
    static const InstallRecord package = [] {
        InstallRecord record{std::string(product::version), {}};
        for (const BuiltInFile& file : builtInFiles)
            record.files.push_back({file.name, file.size, parseSha256Hex(file.sha256).value_or(std::array<std::uint8_t, 32>{})});
        try {
            if (std::optional<RecordedFile> self = ownFile()) record.files.push_back(std::move(*self));
        } catch (...) {
            // Unknown bytes: an installed uninstaller without a record then stays as the user's.
        }
        return record;
    }();
    return package;
}

bool UninstallPlan::nothingToRemove() const
{
    const std::wstring running = runsInstalledCopy ? productLayout.executables.front() : std::wstring();
    return !entryPresent && !holdsWork(bundleLayout, bundle, running) && !holdsWork(productLayout, product, running);
}

UninstallPlan planUninstall(const std::wstring& runningExecutable, InstallScope scope,
                            const InstallLocations& locations, const InstallRecord& runningPackage)
{
    UninstallPlan plan;
    plan.scope = scope;
    plan.bundleLayout = layoutOf(locations.bundleFolder, PackageTree::Bundle, runningPackage);
    plan.productLayout = layoutOf(locations.productFolder, PackageTree::Product, runningPackage);
    plan.runsInstalledCopy = isSameEntry(extendedLengthPath(runningExecutable), extendedLengthPath(uninstallerOf(plan)));
    plan.entryPresent = uninstallEntryExists(scope);
    plan.bundle = surveyTree(plan.bundleLayout);
    plan.product = surveyTree(plan.productLayout);
    plan.refusal = plan.bundle.refusal ? plan.bundle.refusal : plan.product.refusal;
    // This process has its own file mapped: that is no other program's use.
    const std::wstring running = plan.runsInstalledCopy ? uninstallerOf(plan) : std::wstring();
    if (!plan.refusal) plan.refusal = refusalForFilesInUse(plan.bundleLayout, plan.bundle, running);
    if (!plan.refusal) plan.refusal = refusalForFilesInUse(plan.productLayout, plan.product, running);
    if (plan.refusal) event_log::write(L"refused: " + *plan.refusal);
    return plan;
}

UninstallReport carryOutUninstall(const UninstallPlan& plan)
{
    UninstallReport report;
    Removal removal(report);
    const std::wstring& uninstaller = uninstallerOf(plan);
    const auto lastOfItsTree = [&](const std::wstring& path) {
        return isProofOf(plan.bundleLayout, path) || isProofOf(plan.productLayout, path) ||
               sameLocation(path, uninstaller);
    };

    // Every package file but the records, the markers and the uninstaller, then the
    // folders that emptied.
    for (const TreeSurvey* survey : {&plan.bundle, &plan.product}) {
        for (const std::wstring& file : survey->packageFiles)
            if (!lastOfItsTree(file)) removal.file(file);
        removal.emptiedFolders(*survey);
    }

    // Looked at afresh: the proof goes only where nothing else is left.
    const TreeSurvey bundle = surveyTree(plan.bundleLayout);
    const TreeSurvey product = surveyTree(plan.productLayout);
    for (const TreeSurvey* survey : {&bundle, &product}) {
        const std::wstring& folder = survey == &bundle ? plan.bundleLayout.folder : plan.productLayout.folder;
        if (survey->refusal) removal.problem(folder, L"it changed while it was being removed");
        for (const std::wstring& file : survey->packageFiles)
            if (!lastOfItsTree(file)) removal.problem(file, L"still present");
    }
    if (!report.problems.empty()) {
        report.outcome = UninstallOutcome::Incomplete;
        return report;
    }

    report.keptFiles = bundle.userFiles;
    report.keptFiles.insert(report.keptFiles.end(), product.userFiles.begin(), product.userFiles.end());
    if (bundle.present && bundle.userFiles.empty()) removal.wholeTree(plan.bundleLayout, PackageTree::Bundle, bundle);
    if (!report.problems.empty()) {
        report.outcome = UninstallOutcome::Incomplete;
        return report;
    }

    // The entry goes last: while anything of ours stays, it leads to an uninstaller that
    // finishes the job. The installed copy's own file and folder are left to its copy,
    // which requires the entry gone.
    const auto removeEntry = [&] {
        if (!plan.entryPresent) return true;
        const LSTATUS status = RegDeleteKeyExW(uninstallRegistryRoot(plan.scope), uninstallKeyPath, KEY_WOW64_64KEY, 0);
        if (status == ERROR_SUCCESS) {
            removal.removedSomething = true;
            event_log::write(L"removed the uninstall entry");
        } else if (status != ERROR_FILE_NOT_FOUND) {
            removal.problem(L"The entry in Installed apps", utf8ToWide(systemErrorDescription(status)));
            return false;
        }
        return true;
    };
    report.productFolderKept = !product.userFiles.empty();
    if (plan.runsInstalledCopy) {
        if (!removeEntry()) {
            report.outcome = UninstallOutcome::Incomplete;
            return report;
        }
        report.selfRemovalNeeded = product.present;
    } else {
        if (product.present && removal.file(uninstaller) && !report.productFolderKept)
            removal.wholeTree(plan.productLayout, PackageTree::Product, product);
        if (report.problems.empty()) removeEntry();
    }
    report.outcome = !report.problems.empty()   ? UninstallOutcome::Incomplete
                     : removal.removedSomething ? UninstallOutcome::Removed
                                                : UninstallOutcome::NothingToRemove;
    return report;
}

namespace {

struct UninstallRemains {
    TreeLayout productLayout;
    TreeSurvey product;
};

// The product folder as an uninstall leaves it: the exact marker, no entry, and no
// package file in either tree but the proofs and the uninstaller. Anything else means
// this is not the end of an uninstall: an installation in place, a foreign folder, or
// a caller of the hidden switch.
std::optional<UninstallRemains> remainsOfUninstall(InstallScope scope)
{
    const InstallLocations locations = resolveInstallLocations(scope);
    const TreeLayout bundleLayout = layoutOf(locations.bundleFolder, PackageTree::Bundle, builtInPackage());
    UninstallRemains remains{layoutOf(locations.productFolder, PackageTree::Product, builtInPackage()), {}};
    const TreeSurvey bundle = surveyTree(bundleLayout);
    remains.product = surveyTree(remains.productLayout);
    const std::wstring& uninstaller = remains.productLayout.executables.front();
    const auto onlyLastFiles = [&](const TreeSurvey& survey) {
        return std::all_of(survey.packageFiles.begin(), survey.packageFiles.end(), [&](const std::wstring& file) {
            return isProofOf(bundleLayout, file) || isProofOf(remains.productLayout, file) ||
                   sameLocation(file, uninstaller);
        });
    };
    if (bundle.refusal || remains.product.refusal || !remains.product.markerIsExact || uninstallEntryExists(scope) ||
        !onlyLastFiles(bundle) || !onlyLastFiles(remains.product)) {
        event_log::write(L"self-removal: the product folder is not the remains of an uninstall; nothing deleted");
        return std::nullopt;
    }
    return remains;
}

// Through the handle it was judged by, when there is one.
void scheduleUnderItsOwnName(const std::wstring& uninstaller, HANDLE judged = nullptr)
{
    if (judged ? deleteAtRestartUnderItsOwnName(uninstaller, judged) : deleteAtRestartUnderItsOwnName(uninstaller))
        event_log::write(L"self-removal: " + uninstaller + L" will be deleted at the next restart");
}

} // namespace

void removeInstalledUninstaller(InstallScope scope)
{
    const std::optional<UninstallRemains> remains = remainsOfUninstall(scope);
    if (!remains) return;
    const std::wstring& uninstaller = remains->productLayout.executables.front();
    // The first process may take a moment to let go of its image.
    RemovalResult result{RemovalOutcome::Refused};
    for (int attempt = 0; attempt < 100; ++attempt) {
        result = removeFileVerified(uninstaller);
        if (result.outcome != RemovalOutcome::Refused) break;
        Sleep(100);
    }
    if (result.outcome == RemovalOutcome::NotOurs) return;
    if (result.outcome == RemovalOutcome::Refused) return scheduleUnderItsOwnName(uninstaller);
    event_log::write(L"self-removal: removed " + uninstaller);
    if (!remains->product.userFiles.empty()) return;
    if (const std::optional<ProofLeft> left =
            removeProofWhenAlone(TreeOwnership::installedIn(remains->productLayout.folder, PackageTree::Product,
                                                            builtInPackage()),
                                 realFileOperations())) {
        event_log::write(L"self-removal: not removed: " + left->path);
        return;
    }
    event_log::write(L"self-removal: removed " + remains->productLayout.folder);
}

void scheduleInstalledUninstaller(InstallScope scope)
{
    // Without the lock an installation may swap folders at any moment: the file is held
    // before the folder is judged, and only that file is renamed, and only while it still
    // stands at its place.
    const std::wstring uninstaller =
        layoutOf(resolveInstallLocations(scope).productFolder, PackageTree::Product, builtInPackage()).executables.front();
    const UniqueFile held = openedForRenaming(uninstaller);
    if (!held || !remainsOfUninstall(scope)) return;
    const UniqueFile atItsPlace = openedForRenaming(uninstaller);
    if (atItsPlace && isSameEntry(held.get(), atItsPlace.get())) scheduleUnderItsOwnName(uninstaller, held.get());
}

} // namespace elvara
