#pragma once
// The uninstaller's self-removal copy lives in a folder of its own under a temporary
// folder: "ElvaraSound-Uninstall-" and 16 lower-case hex digits. A standard user may not
// schedule deletions at the next restart, so later runs of either program remove the
// folders whose copy has ended from that user's own temporary folder.
#include <string>
#include <string_view>

namespace elvara {

inline constexpr std::wstring_view uninstallCopyFolderPrefix = L"ElvaraSound-Uninstall-";

bool isUninstallCopyFolderName(std::wstring_view name) noexcept;

// This user's temporary folder (GetTempPath), without a trailing separator; empty when
// there is none.
std::wstring userTemporaryFolder();

// In this user's temporary folder: each such folder that holds nothing but a copy that
// has ended (its Uninstall.exe can be deleted) loses the copy, then goes. A running
// copy, a link, or a folder that holds anything else is left alone. Never raises.
void removeEndedUninstallCopies() noexcept;

} // namespace elvara
