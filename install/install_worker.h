#pragma once
#include "install/install_status.h"
#include "install/install_transaction.h"

namespace elvara {

inline constexpr wchar_t installSuccessText[] =
    L"Installed safely in the system VST3 folder. Open FL Studio, scan for installed plugins and load ElvaraSound "
    L"on a Mixer insert. Connect your verified account inside the plugin.";
inline constexpr wchar_t userInstallSuccessText[] =
    L"Installed safely in your own VST3 folder, for you only. Open FL Studio, scan for installed plugins and load "
    L"ElvaraSound on a Mixer insert. Connect your verified account inside the plugin.";
inline constexpr char administratorRequiredText[] =
    "Administrator permission is required to install in the standard VST3 folder.";

// The installation's steps in their order: administrator check (machine scope only),
// the scope's folders, its install lock, package verification, transaction,
// registration. Throws the failure's text.
InstallOutcome installProduct(InstallScope scope, const ProgressCallback& progress);

// One sentence per user's file that kept its place beside a new file of its name.
std::wstring keptBesideText(const InstallOutcome& outcome); // working folders left included
// The working folders of ours that the run could not clear, named.
std::wstring workingFoldersLeftText(const InstallOutcome& outcome);

// The worker's whole run on the calling thread: install, then publish the result and
// post WM_INSTALL_FINISHED exactly once. Never throws.
void runInstallWorker(InstallStatus& status) noexcept;

} // namespace elvara
