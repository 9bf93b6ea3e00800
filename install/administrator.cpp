#include "install/administrator.h"

#include "base/unique_handle.h"

#include <windows.h>

#include <vector>

namespace elvara {

namespace {

UniqueSid administratorsSid() noexcept
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    UniqueSid administrators;
    AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                             administrators.put());
    return administrators;
}

} // namespace

bool isElevatedAdministrator() noexcept
{
    BOOL member = FALSE;
    const UniqueSid administrators = administratorsSid();
    if (!administrators) return false;
    CheckTokenMembership(nullptr, administrators.get(), &member);
    return member == TRUE;
}

bool mayElevateThemselves() noexcept
{
    const UniqueSid administrators = administratorsSid();
    UniqueKernelHandle token;
    if (!administrators || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return true;
    try {
        DWORD size = 0;
        GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &size);
        std::vector<BYTE> buffer(size);
        if (size == 0 || !GetTokenInformation(token.get(), TokenGroups, buffer.data(), size, &size)) return true;
        const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
        for (DWORD index = 0; index < groups->GroupCount; ++index)
            if (EqualSid(groups->Groups[index].Sid, administrators.get())) return true;
        return false;
    } catch (...) {
        return true; // unknown: the default stays the machine-wide installation
    }
}

} // namespace elvara
