#pragma once
// A running program cannot delete its own file, so a copy of the uninstaller does
// it once the first process has ended. The copy lives in a new folder under the
// Windows temporary folder that only Administrators and SYSTEM can change, so that
// no other user can replace what an administrator runs, and it is given nothing to
// trust but a handle to the first process: it finds the product folder itself. The
// uninstaller of a user's own installation has no other user to fear: its copy goes
// to that user's temporary folder, with the user's own rights.
#include "base/unique_handle.h"
#include "install/install_scope.h"

#include <optional>
#include <string>
#include <vector>

namespace elvara {

// The name of the hidden switch, followed by the decimal value of an inherited
// handle to the first process.
inline constexpr wchar_t finishRemovalSwitch[] = L"--finish-removal";

// The copy, written and created suspended in a job that ends it when this process
// ends first (a kill while the last message is open leaves no process behind); it
// starts, and may outlive this process, when start() is called. Its file and folder
// are scheduled for deletion at the next restart as soon as they exist.
class SelfRemoval {
public:
    explicit SelfRemoval(InstallScope scope) : scope_(scope) {}
    SelfRemoval(const SelfRemoval&) = delete;
    SelfRemoval& operator=(const SelfRemoval&) = delete;
    ~SelfRemoval(); // a copy never started is ended and deleted

    // False when the copy cannot be made or created (a full disk, no temporary folder).
    bool prepare();
    void start() noexcept;

private:
    bool prepareOrThrow();
    void discard() noexcept;

    InstallScope scope_;
    std::wstring folder_, copy_;
    UniqueKernelHandle job_, process_, thread_;
    bool started_ = false;
};

// The copy's job (the hidden switch): waits for the first process without a time
// limit, takes the install lock of the scope that its folder tells, removes the
// installed uninstaller (see removeInstalledUninstaller) and has its own file and
// folder deleted at the next restart. Does nothing unless firstProcess names a
// process handle.
int finishSelfRemoval(const std::wstring& firstProcess);

// Has Windows delete these paths, in this order, at the next restart. Only for names
// that nothing else will ever use (the copy's own folder and file).
bool deleteAtRestart(const std::vector<std::wstring>& paths) noexcept;

// For a file of the installation that cannot be deleted now (a running program): it
// is renamed to a name of its own in the same folder and that name is scheduled, so
// that the restart cannot delete a file that a later installation put at the old
// name. False, and nothing scheduled, when it cannot be renamed.
bool deleteAtRestartUnderItsOwnName(const std::wstring& file) noexcept;
// The same for the file that `opened` holds (opened by openedForRenaming), renamed
// through that handle: the file judged, never one that took its name meanwhile.
bool deleteAtRestartUnderItsOwnName(const std::wstring& file, HANDLE opened) noexcept;
UniqueFile openedForRenaming(const std::wstring& file) noexcept;

} // namespace elvara
