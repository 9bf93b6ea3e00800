#include "package/setup_package.h"

#include "base/failure.h"
#include "package/crypto.h"
#include "package/package_reader.h"

#include <windows.h>

namespace elvara {

ByteView loadPackageResource()
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    failIf(resource == nullptr, "Installer package missing");
    HGLOBAL loaded = LoadResource(module, resource);
    failIf(loaded == nullptr, "Installer package missing");
    const DWORD size = SizeofResource(module, resource);
    failIf(size == 0, "Installer package missing");
    return ByteView{static_cast<const std::uint8_t*>(LockResource(loaded)), size};
}

std::vector<PackageEntry> parseSetupPackage(ByteView package)
{
    return readSetupPackage(package, [] { return newSha256Stream(); });
}

std::vector<PackageEntry> verifySetupPackageCompletely(ByteView package)
{
    std::vector<PackageEntry> entries = parseSetupPackage(package);
    verifyDecodedEntries(entries, [] { return newSha256Stream(); });
    return entries;
}

} // namespace elvara
