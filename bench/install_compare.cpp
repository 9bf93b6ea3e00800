// Installation cost against the platform's own limit, side by side in one process:
// installPackage of a package file's entries into fresh folders, against writing the
// same files with CreateFileW / WriteFile / FlushFileBuffers and nothing else.
//   bench_install PACKAGE_FILE SCRATCH_FOLDER
#include "base/path_text.h"
#include "base/unique_handle.h"
#include "install/install_transaction.h"
#include "package/crypto.h"
#include "package/frame_decoder.h"
#include "package/setup_package.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace elvara;

namespace {

double millisecondsOf(const auto& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void makeParents(const std::wstring& file)
{
    const std::wstring parent = parentPath(file);
    if (parent.empty() || GetFileAttributesW(parent.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    makeParents(parent);
    CreateDirectoryW(parent.c_str(), nullptr);
}

// The reference writes bytes already decoded; ours decodes each frame as it writes.
std::vector<std::vector<std::uint8_t>> decodedEntries(const std::vector<PackageEntry>& entries)
{
    FrameDecoder decoder;
    std::vector<std::vector<std::uint8_t>> decoded;
    for (const PackageEntry& entry : entries) {
        std::vector<std::uint8_t>& bytes = decoded.emplace_back();
        const auto digest = newSha256Stream();
        decodePackageEntry(entry, decoder, *digest, [&](ByteView piece) {
            bytes.insert(bytes.end(), piece.bytes, piece.bytes + piece.length);
        });
    }
    return decoded;
}

void referenceWrite(const std::vector<PackageEntry>& entries, const std::vector<std::vector<std::uint8_t>>& decoded,
                    const std::wstring& root)
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const PackageEntry& entry = entries[i];
        std::wstring path = appendPath(root, std::wstring(entry.name.begin(), entry.name.end()));
        for (wchar_t& c : path)
            if (c == L'/') c = L'\\';
        makeParents(path);
        UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        WriteFile(file.get(), decoded[i].data(), static_cast<DWORD>(decoded[i].size()), &written, nullptr);
        FlushFileBuffers(file.get());
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) return 2;
    UniqueFile file(CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) return 3;
    std::vector<std::uint8_t> package(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    ReadFile(file.get(), package.data(), static_cast<DWORD>(package.size()), &read, nullptr);
    const auto entries = parseSetupPackage({package.data(), package.size()});
    const auto decoded = decodedEntries(entries);
    const std::wstring scratch = argv[2];
    double best = 1e30, bestReference = 1e30;
    for (int round = 0; round < 3; ++round) {
        const std::wstring run = scratch + L"\\round" + std::to_wstring(round);
        const InstallLocations locations{run + L"\\VST3\\ElvaraSound.vst3", run + L"\\Program Files\\ElvaraSound"};
        bestReference = std::min(bestReference, millisecondsOf([&] { referenceWrite(entries, decoded, run + L"\\reference"); }));
        best = std::min(best, millisecondsOf([&] { installPackage(entries, locations, [](std::uint32_t) {}); }));
    }
    std::printf("%.1f %.1f\n", best, bestReference);
    return 0;
}
