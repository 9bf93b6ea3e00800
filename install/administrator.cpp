#include "install/administrator.h"

#include "base/unique_handle.h"

#include <windows.h>

namespace elvara {

bool isElevatedAdministrator() noexcept
{
    BOOL member = FALSE;
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    UniqueSid administrators;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, administrators.put()))
        return false;
    CheckTokenMembership(nullptr, administrators.get(), &member);
    return member == TRUE;
}

} // namespace elvara
