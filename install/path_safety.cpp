#include "install/path_safety.h"

#include "base/failure.h"
#include "base/path_text.h"

#include <windows.h>

namespace elvara {

void ensureSafeInstallPath(const std::wstring& path)
{
    const LexedPath lexed = lexPath(path);
    failIf(!lexed.absolute, "Installation path is not absolute");
    std::wstring accumulated = lexed.root;
    for (const std::wstring& component : lexed.components) {
        failIf(component == L".." || component == L".", "Unsafe installation path");
        accumulated = appendPath(accumulated, component);
        const DWORD attributes = GetFileAttributesW(extendedLengthPath(accumulated).c_str());
        // A component that cannot be queried (usually: not there yet) cannot be a link.
        failIf(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
               "Installation folder contains a link. Choose a normal Windows installation.");
    }
}

} // namespace elvara
