// The package's frames with real zstd frames: damaged and hostile ones all end in the
// one integrity text, and memory stays bounded whatever a frame claims.
#include "package/package_reader.h"
#include "package/sha256_blocks.h"
#include "unit/package_builder.h"

#include <gtest/gtest.h>
#include <zstd.h>

#include <stdexcept>

using namespace elvara;
using namespace elvara::test;

namespace {

const DigestStreamFactory fastestDigest = [] { return std::make_unique<Sha256Blocks>(Sha256Blocks::fastest()); };

std::string zstdFrame(std::string_view decoded, int level = 3)
{
    std::string out(ZSTD_compressBound(decoded.size()), '\0');
    const std::size_t size = ZSTD_compress(out.data(), out.size(), decoded.data(), decoded.size(), level);
    if (ZSTD_isError(size)) throw std::runtime_error("zstd failed");
    out.resize(size);
    return out;
}

const FrameCompressor compress = [](std::string_view decoded) { return zstdFrame(decoded); };

// A frame written by hand: a header that declares `declared` bytes (or no size at all)
// and one raw block of `content`.
std::string handMadeFrame(std::optional<std::uint64_t> declared, const std::string& content)
{
    std::string frame = "\x28\xB5\x2F\xFD";
    if (declared) {
        frame += '\xE0'; // eight bytes of content size, one segment
        for (int i = 0; i < 8; ++i) frame += static_cast<char>(*declared >> (8 * i));
    } else {
        frame += '\x00';
        frame += '\x50'; // a window of 1 MiB
    }
    const std::uint32_t block = 1 | static_cast<std::uint32_t>(content.size()) << 3; // last, raw
    for (int i = 0; i < 3; ++i) frame += static_cast<char>(block >> (8 * i));
    return frame + content;
}

std::string verifyFailure(const std::vector<std::uint8_t>& package)
{
    try {
        const auto entries = readSetupPackage({package.data(), package.size()}, fastestDigest);
        verifyDecodedEntries(entries, fastestDigest);
    } catch (const std::runtime_error& failure) {
        return failure.what();
    }
    return "accepted";
}

// The minimal entries and a product entry of two frames, compressed, changed by `change`.
std::vector<std::uint8_t> packageWithFrames(const std::function<void(std::vector<BuiltFrame>&)>& change,
                                            bool damageAfterDigest = false)
{
    BuiltEntry large{"Product/Presets/Warm Pad.vstpreset", std::string(4194304, 'w') + std::string(1000, 'p')};
    large.changeFrames = change;
    large.damageAfterDigest = damageAfterDigest;
    return buildPackage(minimalEntriesWith({large}), std::nullopt, compress);
}

} // namespace

TEST(PackageFrames, DamagedAndHostileFrames)
{
    const std::string content(64, 'c');
    const struct {
        const char* title;
        std::vector<std::uint8_t> package;
        const char* failure;
    } rows[] = {
        {"compressed frames as written", packageWithFrames({}), "accepted"},
        {"a frame that declares 4 GiB",
         packageWithFrames([&](auto& frames) { frames[1].stored = handMadeFrame(4294967296ull, content); }),
         "Installer integrity check failed"},
        {"a frame that declares one byte more than 4 MiB",
         packageWithFrames([&](auto& frames) { frames[1].stored = handMadeFrame(4194305ull, content); }),
         "Installer integrity check failed"},
        {"a frame that declares what its table says but holds less",
         packageWithFrames([&](auto& frames) { frames[1].stored = handMadeFrame(1000, content); }),
         "Installer integrity check failed"},
        {"a frame that declares no size", packageWithFrames([&](auto& frames) { frames[1].stored = handMadeFrame({}, content); }),
         "Installer integrity check failed"},
        {"a frame cut short", packageWithFrames([](auto& frames) { frames[0].stored.pop_back(); }),
         "Installer integrity check failed"},
        {"two frames in the place of one", packageWithFrames([](auto& frames) {
             frames[1].stored = zstdFrame(std::string(500, 'p')) + zstdFrame(std::string(500, 'p'));
         }),
         "Installer integrity check failed"},
        {"a skippable frame", packageWithFrames([](auto& frames) {
             frames[1].stored = std::string("\x50\x2A\x4D\x18\x08\0\0\0", 8) + std::string(8, 'p');
         }),
         "Installer integrity check failed"},
        {"the frames in the other order", packageWithFrames([](auto& frames) { std::swap(frames[0], frames[1]); }),
         "Installer integrity check failed"},
        {"a flipped byte in the stored stream, digest taken after (a writer's fault)",
         packageWithFrames([](auto& frames) { frames[0].stored[frames[0].stored.size() / 2] ^= 0x10; }),
         "Installer integrity check failed"},
        {"a flipped byte in the stored stream, digest taken before (damage in transit)",
         packageWithFrames([](auto& frames) { frames[0].stored[frames[0].stored.size() / 2] ^= 0x10; }, true),
         "Installer integrity check failed"},
        {"stored sizes that lie", packageWithFrames([](auto& frames) {
             frames[0].storedSizeField -= 1;
             frames[1].storedSizeField += 1;
         }),
         "Installer integrity check failed"},
        {"a stored size past the end", packageWithFrames([](auto& frames) { frames[1].storedSizeField += 100; }),
         "Installer integrity check failed"},
    };
    for (const auto& row : rows) {
        // Frames that keep their stored size keep the table right; changed ones get it too.
        EXPECT_EQ(verifyFailure(row.package), row.failure) << row.title;
    }
}

TEST(PackageFrames, ADecodedStreamThatDiffersFromItsDigest)
{
    auto entries = minimalEntriesWith({{"Product/a.txt", std::string(3000, 'a')}});
    entries.back().corruptDecodedDigest = true;
    const auto package = buildPackage(entries, std::nullopt, compress);
    EXPECT_NO_THROW(readSetupPackage({package.data(), package.size()}, fastestDigest)); // the stored digest holds
    EXPECT_EQ(verifyFailure(package), "Installer integrity check failed");
}

TEST(PackageFrames, CompressedAndStoredFramesDecodeToTheSameBytes)
{
    std::string mixed;
    for (int i = 0; i < 9000000; ++i) mixed += static_cast<char>(i % 251 < 200 ? 'a' + i % 7 : (i * 2654435761u) >> 24);
    const auto entries = minimalEntriesWith({{"Product/mixed.bin", mixed}});
    for (const auto& compressor : {FrameCompressor{}, compress}) {
        const auto package = buildPackage(entries, std::nullopt, compressor);
        const auto read = readSetupPackage({package.data(), package.size()}, fastestDigest);
        ASSERT_EQ(read.back().frames.size(), 3u);
        EXPECT_EQ(decodedEntry(read.back()), mixed);
    }
}
