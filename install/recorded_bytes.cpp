#include "install/recorded_bytes.h"

#include "package/crypto.h"

#include <algorithm>
#include <vector>

namespace elvara {

bool holdsRecordedBytes(HANDLE file, const RecordedFile& expected) noexcept
{
    try {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file, &size) || static_cast<std::uint64_t>(size.QuadPart) != expected.size) return false;
        LARGE_INTEGER start{};
        if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
        // Read, not mapped: a file that another program shortens meanwhile must give a
        // mismatch, not a fault in a mapped view.
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(expected.size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD read = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
            if (!ReadFile(file, bytes.data() + done, chunk, &read, nullptr) || read == 0) return false;
            done += read;
        }
        const std::vector<std::uint8_t> digest = sha256Digest({bytes.data(), bytes.size()});
        return digest.size() == expected.sha256.size() &&
               std::equal(digest.begin(), digest.end(), expected.sha256.begin());
    } catch (...) {
        return false;
    }
}

} // namespace elvara
