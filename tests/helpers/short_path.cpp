// Test helper: prints the 8.3 short form of an existing path, as Windows hands it out
// (in %TEMP% for users with long names, say).
//   short_path PATH
#include <windows.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) return 2;
    const DWORD length = GetShortPathNameW(argv[1], nullptr, 0);
    if (length == 0) return 1;
    std::vector<wchar_t> buffer(length + 1);
    if (GetShortPathNameW(argv[1], buffer.data(), static_cast<DWORD>(buffer.size())) == 0) return 1;
    std::printf("%ls\n", buffer.data());
    return 0;
}
