#include "self_removal.h"

#include "base/event_log.h"
#include "base/executable_path.h"
#include "base/file_identity.h"
#include "base/path_text.h"
#include "base/unlinked_file.h"
#include "install/ended_uninstall_copies.h"
#include "install/filesystem_ops.h"
#include "install/install_lock.h"
#include "install/swap_uninstaller.h"
#include "install/verified_removal.h"
#include "package/crypto.h"
#include "package/text.h"
#include "uninstall.h"

#include <windows.h>
#include <sddl.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cwctype>
#include <vector>

namespace elvara {

namespace {

constexpr int lockAttemptsBeforeTheRestart = 7200; // half a second apart: an hour


// Owner and access of the copy's folder and file: Administrators and SYSTEM may do
// anything, and the owner's implicit rights (to change the access list) are reduced
// to reading, whoever the owner becomes.
constexpr wchar_t privateFolderSecurity[] = L"O:BAG:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;OW)";

// For the machine's uninstaller, the machine's own temporary folder (Windows\Temp),
// not the user's: the user's folder is writable by every process of that user,
// elevated or not. For a user's own uninstaller, that user's folder.
std::wstring temporaryFolder(InstallScope scope)
{
    if (scope == InstallScope::User) return userTemporaryFolder();
    wchar_t folder[MAX_PATH + 2] = {};
    const UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return appendPath(std::wstring(folder, length), L"Temp");
}

bool copyFile(const std::wstring& from, HANDLE target)
{
    UniqueFile source(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!source) return false;
    std::vector<std::byte> buffer(65536);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(source.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
        if (read == 0) break;
        DWORD written = 0;
        if (!WriteFile(target, buffer.data(), read, &written, nullptr) || written != read) return false;
    }
    return FlushFileBuffers(target) != FALSE;
}

bool runsFromPrivateFolder(const std::wstring& self, InstallScope scope)
{
    const std::wstring folder = parentPath(self);
    const std::wstring temporary = temporaryFolder(scope);
    const LexedPath lexed = lexPath(folder);
    // By identity: the copy's own path and the temporary folder may be spelt apart (a
    // short TEMP, a long module name), and a link in the copy's path is not its parent.
    return !temporary.empty() && !lexed.components.empty() && isUninstallCopyFolderName(lexed.components.back()) &&
           inspectEntry(folder) == EntryKind::Folder && isSameEntry(parentPath(folder), temporary);
}

// The descriptor as it was built, for the log: Wine neither keeps nor reports a
// file's descriptor, so this is where it can be read back there.
std::wstring descriptorText(PSECURITY_DESCRIPTOR descriptor)
{
    constexpr SECURITY_INFORMATION parts =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    LPWSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, parts, &text, nullptr))
        return L"(unreadable)";
    const UniqueLocalMemory owner(text);
    return text;
}

} // namespace

bool SelfRemoval::prepare()
{
    try {
        if (prepareOrThrow()) return true;
    } catch (...) {
    }
    discard();
    return false;
}

bool SelfRemoval::prepareOrThrow()
{
    const std::wstring temporary = temporaryFolder(scope_);
    if (temporary.empty() || inspectEntry(temporary) != EntryKind::Folder) return false;
    UniqueLocalMemory descriptor;
    if (scope_ == InstallScope::Machine &&
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(privateFolderSecurity, SDDL_REVISION_1,
                                                              descriptor.put(), nullptr))
        return false;
    // The temporary folder is held while the copy's folder and file are made inside it,
    // each relative to the handle of the folder that holds it: no link put in the way
    // meanwhile can place them elsewhere.
    std::uint32_t error = ERROR_SUCCESS;
    const HeldFolder temporaryHeld = HeldFolder::open(temporary, error);
    if (!temporaryHeld) {
        event_log::write(L"self-removal: cannot hold " + temporary + L" (" +
                         utf8ToWide(systemErrorDescription(error)) + L")");
        return false;
    }
    const std::wstring name = std::wstring(uninstallCopyFolderPrefix) + utf8ToWide(toLowerHex(randomBytes(8)));
    // A new folder, made with its security in one step: nobody else can have it open
    // or have placed anything in it.
    const UniqueFile folder = createFolderInside(temporaryHeld.get(), name, descriptor.get(), error);
    if (!folder) {
        event_log::write(L"self-removal: cannot create " + appendPath(temporary, name) + L" (" +
                         utf8ToWide(systemErrorDescription(error)) + L")");
        return false;
    }
    folder_ = appendPath(temporary, name);
    event_log::write(L"self-removal: created " + folder_ +
        (descriptor ? L" with security " + descriptorText(descriptor.get()) : std::wstring(L" with the user's rights")));
    copy_ = appendPath(folder_, L"Uninstall.exe");
    // Whatever becomes of the copy (a kill, a failure below), the folder goes at the restart.
    deleteAtRestart({copy_, folder_});
    // From here, discard() deletes what a failure leaves behind.
    {
        const UniqueFile target = createFileInside(folder.get(), L"Uninstall.exe", descriptor.get(), error);
        if (!target || !copyFile(executablePath(), target.get())) {
            event_log::write(L"self-removal: cannot write " + copy_);
            return false;
        }
    }

    UniqueKernelHandle first;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), first.put(),
                         SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0))
        return false;
    // Made in a job that ends it when this process ends first, in the same call: a
    // kill between creating the copy and binding it would leave it suspended for ever.
    job_.reset(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job_ || !SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        event_log::write(L"self-removal: cannot create the copy's job");
        return false;
    }
    // The copy inherits this one handle and nothing else (no standard streams
    // either: a caller reading them would otherwise wait for the copy too).
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 2, 0, &size);
    std::vector<std::byte> storage(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    HANDLE inherited = first.get();
    HANDLE job = job_.get();
    const bool listed =
        InitializeProcThreadAttributeList(attributes, 2, 0, &size) &&
        UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &inherited, sizeof(inherited),
                                  nullptr, nullptr) &&
        UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, &job, sizeof(job), nullptr, nullptr);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.lpAttributeList = attributes;
    std::wstring commandLine = L"\"" + copy_ + L"\" " + finishRemovalSwitch + L" " +
                               std::to_wstring(reinterpret_cast<std::uintptr_t>(inherited));
    PROCESS_INFORMATION process{};
    const bool created =
        listed && CreateProcessW(copy_.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                 CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                                 folder_.c_str(), &startup.StartupInfo, &process);
    if (listed) DeleteProcThreadAttributeList(attributes);
    if (!created) {
        event_log::write(L"self-removal: cannot start " + copy_ + L" in its job");
        return false;
    }
    process_.reset(process.hProcess);
    thread_.reset(process.hThread);
    BOOL inJob = FALSE;
    if (!IsProcessInJob(process_.get(), job_.get(), &inJob) || !inJob) {
        event_log::write(L"self-removal: the copy is not in its job");
        return false;
    }
    event_log::write(L"self-removal: prepared " + copy_);
    return true;
}

SelfRemoval::~SelfRemoval()
{
    if (!started_) discard();
}

void SelfRemoval::discard() noexcept
{
    job_.reset(); // ends the copy
    if (process_) {
        TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), 10000);
        process_.reset();
        thread_.reset();
    }
    if (!copy_.empty()) removeFileVerified(copy_);
    if (!folder_.empty()) removeEmptyFolderVerified(folder_);
    copy_.clear();
    folder_.clear();
}

void SelfRemoval::start() noexcept
{
    if (!thread_ || !job_) return;
    // Resumed first: a kill before the limit is lifted still ends the copy (which only
    // waits), so it can never be left suspended outside its job.
    if (ResumeThread(thread_.get()) == static_cast<DWORD>(-1)) return;
    started_ = true;
    // From now on the copy must outlive this process: it waits for its end.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    if (!SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits)))
        event_log::write(L"self-removal: cannot release the copy from this process's lifetime");
    event_log::write(L"self-removal: started " + copy_);
}

int finishSelfRemoval(const std::wstring& firstProcess)
{
    if (firstProcess.empty() || firstProcess.size() > 20 ||
        !std::all_of(firstProcess.begin(), firstProcess.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
        return 1;
    const std::wstring self = executablePath();
    const bool machine = runsFromPrivateFolder(self, InstallScope::Machine);
    if (!machine && !runsFromPrivateFolder(self, InstallScope::User)) return 1;
    const InstallScope scope = machine ? InstallScope::Machine : InstallScope::User;
    const auto value = static_cast<std::uintptr_t>(std::stoull(firstProcess));
    UniqueKernelHandle first(reinterpret_cast<HANDLE>(value));
    if (GetProcessId(first.get()) == 0) {
        first.release(); // not a handle of this process's to close
        return 1;
    }
    if (WaitForSingleObject(first.get(), INFINITE) != WAIT_OBJECT_0) return 1;
    {
        // An installation that started meanwhile finishes first; what it leaves is checked below.
        // Not forever: after an hour, what it waited to remove is left to the restart, and
        // so is this copy.
        std::optional<InstallLock> onlyInstallation;
        for (int attempt = 0; !onlyInstallation; ++attempt) {
            try {
                onlyInstallation.emplace(scope);
            } catch (const InstallLockHeld&) {
                if (attempt == lockAttemptsBeforeTheRestart) {
                    scheduleInstalledUninstaller(scope);
                    deleteAtRestart({self, parentPath(self)});
                    return 1;
                }
                Sleep(500);
            }
        }
        removeInstalledUninstaller(scope);
        // The first process may have been the copy that the entry named during a swap; its
        // image may take a moment to be let go of.
        const InstallLocations locations = resolveInstallLocations(scope);
        for (int attempt = 0; attempt < 100 && !removeEndedSwapUninstallers(locations); ++attempt) Sleep(100);
    }
    deleteAtRestart({self, parentPath(self)});
    return 0;
}

UniqueFile openedForRenaming(const std::wstring& file) noexcept
{
    try {
        return UniqueFile(CreateFileW(extendedLengthPath(file).c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    } catch (...) {
        return {};
    }
}

bool deleteAtRestartUnderItsOwnName(const std::wstring& file) noexcept
{
    const UniqueFile opened = openedForRenaming(file);
    return opened && deleteAtRestartUnderItsOwnName(file, opened.get());
}

bool deleteAtRestartUnderItsOwnName(const std::wstring& file, HANDLE opened) noexcept
{
    try {
        const std::wstring unique = file + L"." + utf8ToWide(toLowerHex(randomBytes(8))) + L".deleted-at-restart";
        // Through the handle: the very file that was judged, wherever its folder went since.
        const std::wstring target = L"\\??\\" + extendedLengthPath(unique).substr(4);
        std::vector<std::uint8_t> rename(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
        auto* info = reinterpret_cast<FILE_RENAME_INFO*>(rename.data());
        info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
        std::copy(target.begin(), target.end(), info->FileName);
        IO_STATUS_BLOCK status{};
        constexpr int fileRenameInformation = 10;
        if (NtSetInformationFile(opened, &status, info, static_cast<ULONG>(rename.size()),
                                 static_cast<FILE_INFORMATION_CLASS>(fileRenameInformation)) < 0) {
            event_log::write(L"cannot rename " + file + L" for its deletion at the next restart");
            return false;
        }
        if (deleteAtRestart({unique})) {
            event_log::write(L"renamed " + file + L" to " + unique + L" for its deletion at the next restart");
            return true;
        }
        // Not scheduled (no right to): the file keeps its own name, which the message gives.
        MoveFileExW(extendedLengthPath(unique).c_str(), extendedLengthPath(file).c_str(), 0);
        event_log::write(L"cannot schedule " + file + L" for deletion at the next restart");
        return false;
    } catch (...) {
        return false;
    }
}

bool deleteAtRestart(const std::vector<std::wstring>& paths) noexcept
{
    bool scheduled = true;
    for (const std::wstring& path : paths)
        if (!MoveFileExW(extendedLengthPath(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) scheduled = false;
    return scheduled;
}

} // namespace elvara
