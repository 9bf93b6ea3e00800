#include "install/install_lock.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

namespace elvara {

namespace {

constexpr wchar_t namespaceName[] = L"ElvaraSound-Livewire";
constexpr wchar_t globalName[] = L"Global\\ElvaraSound-Livewire-Install";
constexpr int globalNames = 8;

[[noreturn]] void unavailable(DWORD error)
{
    throw Failure(installLockUnavailableText, Failure::CodeKind::Win32, error);
}

struct SecurityDescriptor {
    UniqueLocalMemory memory;
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

SecurityDescriptor descriptorFrom(const std::wstring& text)
{
    SecurityDescriptor descriptor;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &raw, nullptr))
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

// The SID of the user who runs this process, as its token names it.
std::vector<BYTE> currentUserSid()
{
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) unavailable(GetLastError());
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) unavailable(GetLastError());
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    std::vector<BYTE> copy(GetLengthSid(sid));
    if (!CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid)) unavailable(GetLastError());
    return copy;
}

std::wstring sidText(PSID sid)
{
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) unavailable(GetLastError());
    const UniqueLocalMemory owner(text);
    return text;
}

// Where a scope's lock lives, and who alone may have created it: Administrators for
// the machine's lock; for a user's lock that user, whose SID is in its names, so
// that the lock of one user never waits for another's or for the machine's.
struct LockPlace {
    std::wstring namespaceName;
    std::wstring globalName;
    std::vector<BYTE> creator; // a SID that only the rightful creator's token holds
    SecurityDescriptor security;

    PSID creatorSid() { return creator.data(); }
};

LockPlace lockPlace(InstallScope scope)
{
    LockPlace place;
    if (scope == InstallScope::Machine) {
        const UniqueSid administrators = wellKnownSid(DOMAIN_ALIAS_RID_ADMINS);
        place.creator.resize(GetLengthSid(administrators.get()));
        if (!CopySid(static_cast<DWORD>(place.creator.size()), place.creator.data(), administrators.get()))
            unavailable(GetLastError());
        place.namespaceName = namespaceName;
        place.globalName = globalName;
        // Owned by Administrators, usable by Administrators and the system alone.
        place.security = descriptorFrom(L"O:BAD:(A;;GA;;;BA)(A;;GA;;;SY)");
        return place;
    }
    place.creator = currentUserSid();
    const std::wstring user = sidText(place.creatorSid());
    place.namespaceName = std::wstring(namespaceName) + L"-" + user;
    place.globalName = std::wstring(globalName) + L"-" + user;
    place.security = descriptorFrom(L"O:" + user + L"D:(A;;GA;;;" + user + L")(A;;GA;;;SY)");
    return place;
}

// A name whose object another process created counts only when that process could
// make the rightful creator (or the system) its owner.
bool ownedBy(HANDLE mutex, PSID creator)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &raw) !=
        ERROR_SUCCESS)
        return false;
    const UniqueLocalMemory descriptor(raw);
    return owner != nullptr &&
           (EqualSid(owner, creator) || EqualSid(owner, wellKnownSid(SECURITY_LOCAL_SYSTEM_RID).get()));
}

// Where the platform has private namespaces: a token without the creator's SID cannot
// create one bounded by it. False where the platform lacks them.
bool createInPrivateNamespace(InstallLockObject& lock, LockPlace& place)
{
    UniqueBoundaryDescriptor boundary(CreateBoundaryDescriptorW(place.namespaceName.c_str(), 0));
    if (!boundary) return false;
    HANDLE bounded = boundary.get();
    if (!AddSIDToBoundaryDescriptor(&bounded, place.creatorSid())) unavailable(GetLastError());
    boundary.release();
    boundary.reset(bounded);
    lock.privateNamespace.reset(
        CreatePrivateNamespaceW(&place.security.attributes, boundary.get(), place.namespaceName.c_str()));
    if (!lock.privateNamespace && GetLastError() == ERROR_ALREADY_EXISTS)
        lock.privateNamespace.reset(OpenPrivateNamespaceW(boundary.get(), place.namespaceName.c_str()));
    if (!lock.privateNamespace) unavailable(GetLastError());
    lock.mutex.reset(CreateMutexW(&place.security.attributes, FALSE, (place.namespaceName + L"\\Install").c_str()));
    if (!lock.mutex) unavailable(GetLastError());
    return true;
}

} // namespace

InstallLockObject createInstallLockObject(InstallScope scope)
{
    InstallLockObject lock;
    LockPlace place = lockPlace(scope);
    if (createInPrivateNamespace(lock, place)) return lock;
    DWORD error = ERROR_ACCESS_DENIED;
    for (int index = 1; index <= globalNames; ++index) {
        const std::wstring name = index == 1 ? place.globalName : place.globalName + L"-" + std::to_wstring(index);
        lock.mutex.reset(CreateMutexW(&place.security.attributes, FALSE, name.c_str()));
        error = GetLastError();
        if (!lock.mutex && error != ERROR_ACCESS_DENIED) unavailable(error);
        if (lock.mutex && (error != ERROR_ALREADY_EXISTS || ownedBy(lock.mutex.get(), place.creatorSid()))) return lock;
    }
    unavailable(error); // every name was taken by processes without the right to own it
}

InstallLock::InstallLock(InstallScope scope) : lock_(createInstallLockObject(scope))
{
    const DWORD state = WaitForSingleObject(lock_.mutex.get(), 0);
    if (state != WAIT_OBJECT_0 && state != WAIT_ABANDONED) throw InstallLockHeld();
}

InstallLock::~InstallLock() { ReleaseMutex(lock_.mutex.get()); }

} // namespace elvara
