#include "install/install_lock.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>

namespace elvara {

namespace {

constexpr wchar_t namespaceName[] = L"ElvaraSound-Livewire";
constexpr wchar_t globalName[] = L"Global\\ElvaraSound-Livewire-Install";
constexpr int globalNames = 8;
// Owned by Administrators, usable by Administrators and the system alone.
constexpr wchar_t administratorsOnly[] = L"O:BAD:(A;;GA;;;BA)(A;;GA;;;SY)";

[[noreturn]] void unavailable(DWORD error)
{
    throw Failure(installLockUnavailableText, Failure::CodeKind::Win32, error);
}

struct SecurityDescriptor {
    UniqueLocalMemory memory;
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

SecurityDescriptor administratorsOnlyDescriptor()
{
    SecurityDescriptor descriptor;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(administratorsOnly, SDDL_REVISION_1, &raw, nullptr))
        unavailable(GetLastError());
    descriptor.memory.reset(raw);
    descriptor.attributes.lpSecurityDescriptor = raw;
    return descriptor;
}

UniqueSid wellKnownSid(DWORD rid)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    UniqueSid sid;
    const BYTE count = rid == SECURITY_LOCAL_SYSTEM_RID ? 1 : 2;
    if (!AllocateAndInitializeSid(&ntAuthority, count, count == 1 ? rid : SECURITY_BUILTIN_DOMAIN_RID,
                                  count == 1 ? 0 : rid, 0, 0, 0, 0, 0, 0, sid.put()))
        unavailable(GetLastError());
    return sid;
}

// A name whose object another process created counts only when that process could
// make Administrators or the system its owner.
bool ownedByAdministrators(HANDLE mutex)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &raw) !=
        ERROR_SUCCESS)
        return false;
    const UniqueLocalMemory descriptor(raw);
    return owner != nullptr && (EqualSid(owner, wellKnownSid(DOMAIN_ALIAS_RID_ADMINS).get()) ||
                                EqualSid(owner, wellKnownSid(SECURITY_LOCAL_SYSTEM_RID).get()));
}

// Where the platform has private namespaces: a standard user's token cannot create
// one bounded by Administrators. False where the platform lacks them.
bool createInPrivateNamespace(InstallLockObject& lock, SecurityDescriptor& security)
{
    UniqueBoundaryDescriptor boundary(CreateBoundaryDescriptorW(namespaceName, 0));
    if (!boundary) return false;
    HANDLE bounded = boundary.get();
    const UniqueSid administrators = wellKnownSid(DOMAIN_ALIAS_RID_ADMINS);
    if (!AddSIDToBoundaryDescriptor(&bounded, administrators.get())) unavailable(GetLastError());
    boundary.release();
    boundary.reset(bounded);
    lock.privateNamespace.reset(CreatePrivateNamespaceW(&security.attributes, boundary.get(), namespaceName));
    if (!lock.privateNamespace && GetLastError() == ERROR_ALREADY_EXISTS)
        lock.privateNamespace.reset(OpenPrivateNamespaceW(boundary.get(), namespaceName));
    if (!lock.privateNamespace) unavailable(GetLastError());
    lock.mutex.reset(CreateMutexW(&security.attributes, FALSE, (std::wstring(namespaceName) + L"\\Install").c_str()));
    if (!lock.mutex) unavailable(GetLastError());
    return true;
}

} // namespace

InstallLockObject createInstallLockObject()
{
    InstallLockObject lock;
    SecurityDescriptor security = administratorsOnlyDescriptor();
    if (createInPrivateNamespace(lock, security)) return lock;
    DWORD error = ERROR_ACCESS_DENIED;
    for (int index = 1; index <= globalNames; ++index) {
        const std::wstring name = index == 1 ? globalName : globalName + (L"-" + std::to_wstring(index));
        lock.mutex.reset(CreateMutexW(&security.attributes, FALSE, name.c_str()));
        error = GetLastError();
        if (!lock.mutex && error != ERROR_ACCESS_DENIED) unavailable(error);
        if (lock.mutex && (error != ERROR_ALREADY_EXISTS || ownedByAdministrators(lock.mutex.get()))) return lock;
    }
    unavailable(error); // every name was taken by processes without administrator rights
}

InstallLock::InstallLock() : lock_(createInstallLockObject())
{
    const DWORD state = WaitForSingleObject(lock_.mutex.get(), 0);
    if (state != WAIT_OBJECT_0 && state != WAIT_ABANDONED) throw InstallLockHeld();
}

InstallLock::~InstallLock() { ReleaseMutex(lock_.mutex.get()); }

} // namespace elvara
