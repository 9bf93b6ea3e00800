// Test helper: prints the owner, group and access list of a file or folder as one
// SDDL line, read back through the system (Wine keeps but does not enforce them).
//   security_reader PATH
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fputs("usage: security_reader PATH\n", stderr);
        return 2;
    }
    constexpr SECURITY_INFORMATION parts =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(argv[1], SE_FILE_OBJECT, parts, nullptr, nullptr, nullptr, nullptr, &descriptor) !=
        ERROR_SUCCESS)
        return 1;
    LPWSTR text = nullptr;
    const bool converted =
        ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, parts, &text, nullptr);
    if (converted) std::printf("%ls\n", text);
    LocalFree(text);
    LocalFree(descriptor);
    return converted ? 0 : 1;
}
