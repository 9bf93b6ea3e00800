// Test helper: replaces RCDATA 101, language 1033, of an executable, to make copies
// of the installer that carry damaged packages; --delete removes every resource.
//   replace_resource EXE PACKAGE_FILE | replace_resource EXE --delete
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fputs("usage: replace_resource EXE PACKAGE_FILE|--delete\n", stderr);
        return 2;
    }
    std::vector<char> data;
    const bool remove = std::wstring(argv[2]) == L"--delete";
    if (!remove) {
        std::ifstream in(argv[2], std::ios::binary);
        if (!in) return 3;
        data.assign(std::istreambuf_iterator<char>(in), {});
    }
    HANDLE update = BeginUpdateResourceW(argv[1], remove ? TRUE : FALSE);
    if (update == nullptr) return 4;
    if (remove) return EndUpdateResourceW(update, FALSE) ? 0 : 5;
    const BOOL changed = UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(101), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                         remove ? nullptr : data.data(), static_cast<DWORD>(data.size()));
    if (!EndUpdateResourceW(update, changed ? FALSE : TRUE) || !changed) return 5;
    return 0;
}
