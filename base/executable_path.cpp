#include "base/executable_path.h"

#include "base/failure.h"

#include <windows.h>

namespace elvara {

std::wstring executablePath()
{
    constexpr DWORD capacity = 32768;
    std::wstring buffer(capacity, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), capacity);
    failIf(length == 0 || length == capacity, "Executable path unavailable");
    buffer.resize(length);
    return buffer;
}

} // namespace elvara
