#pragma once
#include <string>

namespace elvara {

struct Installer;

inline constexpr wchar_t confirmationCancelledText[] =
    L"Administrator confirmation was cancelled. Nothing was installed.";

// Full path of the running executable. Throws "Executable path unavailable".
std::wstring executablePath();

// The Ready page's install action: installs in place when elevated, otherwise
// starts the elevated copy with "--perform" and destroys the window. Never waits.
void beginInstall(Installer& record);

} // namespace elvara
