// Reference for the verification throughput: reads a file and hashes it with the
// platform's SHA-256 on one core, nothing else.   bench_hash_reference FILE
#include "base/unique_handle.h"
#include "package/crypto.h"

#include <windows.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) return 2;
    elvara::UniqueFile file(CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) return 3;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return 4;
    const auto stream = elvara::newSha256Stream(elvara::Sha256Path::Platform);
    stream->update({bytes.data(), read});
    const auto digest = stream->finish();
    std::printf("%02x%02x\n", digest[0], digest[1]);
    return 0;
}
