#include "uninstall.h"

#include "base/event_log.h"
#include "base/unique_handle.h"
#include "install/filesystem_ops.h"
#include "install/folder_tree.h"
#include "install/install_locations.h"
#include "install/install_record.h"
#include "install/path_text.h"
#include "install/uninstall_registration.h"
#include "install/verified_removal.h"
#include "self_removal.h"
#include "package/package_format.h"
#include "package/text.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <set>

namespace elvara {

namespace {

#include "package_names.inc"

std::wstring pathIn(const std::wstring& folder, std::string_view packageName)
{
    std::wstring relative = utf8ToWide(package_format::treeRelativeName(packageName));
    std::replace(relative.begin(), relative.end(), L'/', L'\\');
    return appendPath(folder, relative);
}

// The folder's record names its package files (whichever version wrote it); a
// recorded file whose bytes changed since is the user's. Without a record, the names
// of the package that this uninstaller came with.
TreeLayout layoutOf(const std::wstring& folder, bool isBundle)
{
    const PackageTree tree = isBundle ? PackageTree::Bundle : PackageTree::Product;
    std::vector<std::string> names;
    for (const std::string& name : builtInPackageNames())
        if (package_format::isBundleName(name) == isBundle) names.push_back(name);
    const TreeOwnership ours(folder, tree, names);
    if (ours.hasRecord()) {
        names.clear();
        for (const RecordedFile& file : ours.record()->files) {
            const std::wstring path = pathIn(folder, file.name);
            // A link stays the survey's to refuse.
            if (inspectEntry(path) != EntryKind::File || ours.isOurs(treeRelativePath(file.name)))
                names.push_back(file.name);
        }
    }
    TreeLayout layout;
    layout.folder = folder;
    for (const std::string& name : names) layout.packageFiles.push_back(pathIn(folder, name));
    layout.packageFiles.push_back(installRecordPath(folder, tree));
    layout.marker =
        pathIn(folder, isBundle ? package_format::bundleMarkerName : package_format::productMarkerName);
    const std::wstring executable =
        pathIn(folder, isBundle ? package_format::pluginModuleName : package_format::uninstallerName);
    layout.executables.push_back(executable);
    if (isBundle) layout.pluginModule = executable;
    return layout;
}

const std::wstring& uninstallerOf(const UninstallPlan& plan) { return plan.productLayout.executables.front(); }

// By identity rather than by name: the same file may be reached by another spelling
// of its path (a short name, another letter case).
bool sameFile(const std::wstring& a, const std::wstring& b) noexcept
{
    const auto identify = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& information) {
        const UniqueFile file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        return file && GetFileInformationByHandle(file.get(), &information);
    };
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return identify(a, first) && identify(b, second) && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

bool uninstallEntryExists(InstallScope scope)
{
    UniqueRegistryKey key;
    return RegOpenKeyExW(uninstallRegistryRoot(scope), uninstallKeyPath, 0, KEY_READ | KEY_WOW64_64KEY, key.put()) ==
           ERROR_SUCCESS;
}

void log(const std::wstring& text) noexcept
{
    try {
        event_log::write(wideToUtf8(text));
    } catch (...) {
    }
}

// Whether the tree holds anything that this run would remove.
bool holdsWork(const TreeLayout& layout, const TreeSurvey& survey, const std::wstring& runningExecutable)
{
    if (survey.present && survey.holdsNoFiles) return true; // an empty folder is nobody's: it goes
    const bool runsInside = isOneOf(runningExecutable, survey.packageFiles);
    for (const std::wstring& file : survey.packageFiles) {
        if (sameLocation(file, runningExecutable)) continue;
        if (sameLocation(file, layout.marker) && (!survey.userFiles.empty() || runsInside)) continue;
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
            log(L"removed " + path);
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
                log(L"removed " + folder);
            } else if (result.outcome == RemovalOutcome::NotOurs ||
                       (result.outcome == RemovalOutcome::Refused && result.error != ERROR_DIR_NOT_EMPTY &&
                        folderEntryNames(folder).empty())) {
                problem(folder, meansHeldByAnotherProgram(result.error)
                                    ? L"in use by another program (a window or command prompt open in it counts)"
                                    : reasonOf(result));
            }
        }
    }

    void wholeTree(const TreeLayout& layout, const TreeSurvey& survey)
    {
        if (!file(layout.marker)) return;
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
        log(L"not removed: " + report_.problems.back());
    }

    bool removedSomething = false;

private:
    UninstallReport& report_;
    std::vector<std::wstring> paths_;
};

} // namespace

std::vector<std::string> builtInPackageNames()
{
    std::set<std::string_view> names(std::begin(payloadNames), std::end(payloadNames));
    names.insert(package_format::pluginModuleName);
    names.insert(package_format::uninstallerName);
    return {names.begin(), names.end()};
}

bool UninstallPlan::nothingToRemove() const
{
    const std::wstring running = runsInstalledCopy ? productLayout.executables.front() : std::wstring();
    return !entryPresent && !holdsWork(bundleLayout, bundle, running) && !holdsWork(productLayout, product, running);
}

UninstallPlan planUninstall(const std::wstring& runningExecutable, InstallScope scope)
{
    const InstallLocations locations = resolveInstallLocations(scope);
    UninstallPlan plan;
    plan.scope = scope;
    plan.bundleLayout = layoutOf(locations.bundleFolder, true);
    plan.productLayout = layoutOf(locations.productFolder, false);
    plan.runsInstalledCopy = sameFile(runningExecutable, uninstallerOf(plan));
    plan.entryPresent = uninstallEntryExists(scope);
    plan.bundle = surveyTree(plan.bundleLayout);
    plan.product = surveyTree(plan.productLayout);
    plan.refusal = plan.bundle.refusal ? plan.bundle.refusal : plan.product.refusal;
    // This process has its own file mapped: that is no other program's use.
    const std::wstring running = plan.runsInstalledCopy ? uninstallerOf(plan) : std::wstring();
    if (!plan.refusal) plan.refusal = refusalForFilesInUse(plan.bundleLayout, plan.bundle, running);
    if (!plan.refusal) plan.refusal = refusalForFilesInUse(plan.productLayout, plan.product, running);
    if (plan.refusal) log(L"refused: " + *plan.refusal);
    return plan;
}

UninstallReport carryOutUninstall(const UninstallPlan& plan)
{
    UninstallReport report;
    Removal removal(report);
    const std::wstring& uninstaller = uninstallerOf(plan);
    const auto lastOfItsTree = [&](const std::wstring& path) {
        return sameLocation(path, plan.bundleLayout.marker) || sameLocation(path, plan.productLayout.marker) ||
               sameLocation(path, uninstaller);
    };

    // Every package file but the markers and the uninstaller, then the folders that emptied.
    for (const TreeSurvey* survey : {&plan.bundle, &plan.product}) {
        for (const std::wstring& file : survey->packageFiles)
            if (!lastOfItsTree(file)) removal.file(file);
        removal.emptiedFolders(*survey);
    }

    // Looked at afresh: the markers go only where nothing else of the package is left.
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
    if (bundle.present && bundle.userFiles.empty()) removal.wholeTree(plan.bundleLayout, bundle);
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
            log(L"removed the uninstall entry");
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
            removal.wholeTree(plan.productLayout, product);
        if (report.problems.empty()) removeEntry();
    }
    report.outcome = !report.problems.empty()   ? UninstallOutcome::Incomplete
                     : removal.removedSomething ? UninstallOutcome::Removed
                                                : UninstallOutcome::NothingToRemove;
    return report;
}

void removeInstalledUninstaller(InstallScope scope)
{
    const InstallLocations locations = resolveInstallLocations(scope);
    const TreeLayout bundleLayout = layoutOf(locations.bundleFolder, true);
    const TreeLayout productLayout = layoutOf(locations.productFolder, false);
    const TreeSurvey bundle = surveyTree(bundleLayout);
    const TreeSurvey product = surveyTree(productLayout);
    const std::wstring& uninstaller = productLayout.executables.front();
    const auto onlyLastFiles = [&](const TreeSurvey& survey) {
        return std::all_of(survey.packageFiles.begin(), survey.packageFiles.end(), [&](const std::wstring& file) {
            return sameLocation(file, bundleLayout.marker) || sameLocation(file, productLayout.marker) ||
                   sameLocation(file, uninstaller);
        });
    };
    // Anything else means this is not the end of an uninstall: an installation in
    // place, a foreign folder, or a caller of the hidden switch.
    if (bundle.refusal || product.refusal || !product.markerIsExact || uninstallEntryExists(scope) ||
        !onlyLastFiles(bundle) || !onlyLastFiles(product)) {
        log(L"self-removal: the product folder is not the remains of an uninstall; nothing deleted");
        return;
    }
    // The first process may take a moment to let go of its image.
    RemovalResult result{RemovalOutcome::Refused};
    for (int attempt = 0; attempt < 100; ++attempt) {
        result = removeFileVerified(uninstaller);
        if (result.outcome != RemovalOutcome::Refused) break;
        Sleep(100);
    }
    if (result.outcome == RemovalOutcome::NotOurs) return;
    if (result.outcome == RemovalOutcome::Refused) {
        if (deleteAtRestartUnderItsOwnName(uninstaller))
            log(L"self-removal: " + uninstaller + L" will be deleted at the next restart");
        return;
    }
    log(L"self-removal: removed " + uninstaller);
    if (!product.userFiles.empty()) return;
    if (removeFileVerified(productLayout.marker).outcome != RemovalOutcome::Removed) return;
    for (const std::wstring& folder : product.packageFolders) removeEmptyFolderVerified(folder);
    log(L"self-removal: removed " + productLayout.folder);
}

} // namespace elvara
