#include "package/frame_decoder.h"
#include "package/package_format.h"
#include "package/package_reader.h"
#include "package/sha256_blocks.h"
#include "unit/package_builder.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <stdexcept>

using namespace elvara;
using namespace elvara::test;

namespace {

const DigestStreamFactory portableDigest = [] {
    return std::make_unique<Sha256Blocks>(Sha256Blocks::Compressor::Portable);
};

// Counts which bytes each stream was given.
class CountingDigest final : public DigestStream {
public:
    CountingDigest(std::mutex& mutex, std::map<const std::uint8_t*, int>& seen) : mutex_(mutex), seen_(seen) {}
    void update(ByteView bytes) override
    {
        {
            std::lock_guard lock(mutex_);
            ++seen_[bytes.bytes];
        }
        inner_.update(bytes);
    }
    Sha256Value finish() override { return inner_.finish(); }

private:
    std::mutex& mutex_;
    std::map<const std::uint8_t*, int>& seen_;
    Sha256Blocks inner_{Sha256Blocks::Compressor::Portable};
};

std::string readFailure(const std::vector<std::uint8_t>& package)
{
    try {
        readSetupPackage({package.data(), package.size()}, portableDigest);
    } catch (const std::runtime_error& failure) {
        return failure.what();
    }
    return "accepted";
}

} // namespace

TEST(PackageNameRules, Table)
{
    const struct {
        const char* name;
        bool acceptable;
    } rows[] = {
        {"Product/README.txt", true},
        {"VST3/ElvaraSound.vst3/Contents/Resources/moduleinfo.json", true},
        {"VST3/ElvaraSound.vst3/desktop.ini", false}, // outside Contents
        {"Other/README.txt", false},
        {"Product/a/../b", false},
        {"Product//b", false},
        {"Product/folder/", false},
        {"Product/with space.txt", true},
        {"Product/Presets/Warm Pad.vstpreset", true},
        {"Product/trailing space ", false},
        {"Product/a<b", false},
        {"Product/a|b", false},
        {"Product/a?b", false},
        {"Product/a*b", false},
        {"Product/a\"b", false},
        {"Product/a\tb", false},
        {"Product/a\x7f", false},
        {"Product/a\xc2\x9f" "b", false},
        {"Product/a..b.txt", true},
        {"Product/\xe9\x9f\xb3\xe8\x89\xb2/\xd0\x97\xd0\xb2\xd1\x83\xd0\xba.txt", true},
        {"Product/\xce\xae\xcf\x87\xce\xbf\xcf\x82.txt", true},
        {"Product/\xd7\xa6\xd7\x9c\xd7\x99\xd7\x9c.txt", true},
        {"Product/\xf0\x9f\x8e\xb9 keys.txt", true},
        {"Product/\xc3", false},
        {"Product/COM\xc2\xb2", false},
        {"Product/lpt\xc2\xb3.txt", false},
        {"Product/COM\xc2\xb4.txt", true},
        {"Product/NUL .txt", false},
        {"Product/conout$", false},
        {"Product/back\\slash", false},
        {"Product/caf\xc3\xa9.txt", true},
        // What NTFS can hold: no segment ending in a full stop, no device names.
        {"Product/X.", false},
        {"Product/docs./a.txt", false},
        {"Product/./a.txt", false},
        {"Product/NUL", false},
        {"Product/nul.txt", false},
        {"Product/Aux.tar.gz", false},
        {"Product/com1", false},
        {"Product/LPT9.log", false},
        {"Product/con/readme.txt", false},
        {"VST3/ElvaraSound.vst3/Contents/PRN/x.bin", false},
        {"Product/COM10.txt", true},
        {"Product/COM0.txt", true},
        {"Product/CONSOLE.txt", true},
        {"Product/nul-a.txt", true},
        {"Product/.hidden", true},
        {"Product/a.b.c", true},
        // The installation records' names are the installer's own.
        {"Product/elvara-installed-files.txt", false},
        {"Product/Elvara-Installed-Files.TXT", false},
        {"VST3/ElvaraSound.vst3/Contents/Resources/elvara-installed-files.txt", false},
        {"Product/Docs/elvara-installed-files.txt", true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(package_format::isAcceptableEntryName(row.name), row.acceptable) << row.name;
}

TEST(PackageNameRules, UniquenessIgnoresAsciiLetterCase)
{
    EXPECT_EQ(package_format::uniquenessKey("Product/README.txt"), package_format::uniquenessKey("Product/readme.TXT"));
    EXPECT_NE(package_format::uniquenessKey("Product/a-b.txt"), package_format::uniquenessKey("Product/a_b.txt"));
    // Windows folds case beyond ASCII too.
    const std::pair<const char*, const char*> sameFile[] = {
        {"Product/\xc3\x89t\xc3\xa9.txt", "Product/\xc3\xa9T\xc3\x89.txt"},          // Latin-1
        {"Product/\xc5\x81\xc3\xb3" "d\xc5\xba", "Product/\xc5\x82\xc3\x93" "D\xc5\xb9"}, // Latin Extended-A
        {"Product/\xce\x9b\xce\xac", "Product/\xce\xbb\xce\x86"},                      // Greek
        {"Product/\xd0\x97\xd0\x81", "Product/\xd0\xb7\xd1\x91"},                      // Cyrillic
        {"Product/\xef\xbc\xa1", "Product/\xef\xbd\x81"},                                // full-width
    };
    for (const auto& [a, b] : sameFile) EXPECT_EQ(package_format::uniquenessKey(a), package_format::uniquenessKey(b)) << a;
    EXPECT_NE(package_format::uniquenessKey("Product/\xe9\x9f\xb3"), package_format::uniquenessKey("Product/\xe8\x89\xb2"));
}

TEST(PackageNameRules, StrictUtf8)
{
    const struct {
        const char* title;
        std::string text;
        std::size_t invalidAt;
    } rows[] = {
        {"ASCII", "plain text\n", std::string::npos},
        {"two, three and four bytes", "\xc3\xa9 \xe2\x80\x94 \xf0\x9f\x8e\xb5", std::string::npos},
        {"Latin-1 byte", "Licence \xe9 text", 8},
        {"lone continuation byte", "ab\x80", 2},
        {"cut short at the end", "ab\xe2\x80", 2},
        {"overlong two bytes", "\xc0\xaf", 0},
        {"overlong three bytes", "x\xe0\x80\xaf", 1},
        {"surrogate", "\xed\xa0\x80", 0},
        {"above U+10FFFF", "\xf4\x90\x80\x80", 0},
        {"byte 0xFF", "\xff", 0},
    };
    for (const auto& row : rows) EXPECT_EQ(package_format::firstInvalidUtf8Offset(row.text), row.invalidAt) << row.title;
}

TEST(PackageNameRules, TreeRelativeNames)
{
    EXPECT_EQ(package_format::treeRelativeName(package_format::bundleMarkerName), "Contents/Resources/elvara-product.txt");
    EXPECT_EQ(package_format::treeRelativeName(package_format::uninstallerName), "Uninstall.exe");
    EXPECT_TRUE(package_format::isBundleName(package_format::pluginModuleName));
    EXPECT_FALSE(package_format::isBundleName(package_format::productMarkerName));
}

TEST(PackageReader, WithAPortableDigest)
{
    const auto good = buildPackage(minimalEntries());
    const auto entries = readSetupPackage({good.data(), good.size()}, portableDigest);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[3].name, package_format::pluginModuleName);
    EXPECT_EQ(decodedEntry(entries[3]), "MZ plugin");

    auto truncated = good;
    truncated.resize(truncated.size() - 1);
    auto trailing = good;
    trailing.push_back(0);
    auto flipped = good;
    flipped.back() ^= 0x40;
    auto corrupt = minimalEntries();
    corrupt[1].corruptDigest = true;
    auto duplicate = minimalEntries();
    duplicate.push_back(duplicate[0]);
    auto missing = minimalEntries();
    missing.pop_back();
    missing.push_back({"Product/README.txt", "x"});

    const struct {
        const char* what;
        std::vector<std::uint8_t> package;
        const char* failure;
    } rows[] = {
        {"truncated", truncated, "Installer integrity check failed"},
        {"trailing byte", trailing, "Unexpected installer data"},
        {"flipped data", flipped, "Installer integrity check failed"},
        {"corrupt digest", buildPackage(corrupt), "Installer integrity check failed"},
        {"duplicate name", buildPackage(duplicate), "Unsafe installer path"},
        {"module missing", buildPackage(missing), "Required plugin files missing"},
        {"count 3", buildPackage(minimalEntries(), 3u), "Installer file count"},
        {"magic", {'E', 'l', 'v', 'P', 'k', 'g', '0', '3', 4, 0, 0, 0}, "Invalid installer package"},
        {"first format", {'E', 'l', 'v', 'P', 'k', 'g', '0', '1', 4, 0, 0, 0}, "Installer package of an older format"},
        {"short", {'E', 'l', 'v'}, "Incomplete installer package"},
    };
    for (const auto& row : rows) EXPECT_EQ(readFailure(row.package), row.failure) << row.what;
}

// Large entries are hashed concurrently; what the reader reports must not depend on
// it: each entry hashed once, the first failing entry in package order wins.
TEST(PackageReader, ConcurrentDigestsKeepPackageOrder)
{
    auto entries = minimalEntries();
    entries.push_back({"Product/Samples.bin", std::string(3 * 1024 * 1024, 's')});
    entries.push_back({"VST3/ElvaraSound.vst3/Contents/Resources/Impulses.bin", std::string(3 * 1024 * 1024, 'i')});
    std::mutex mutex;
    std::map<const std::uint8_t*, int> hashed;
    const DigestStreamFactory counting = [&] { return std::make_unique<CountingDigest>(mutex, hashed); };
    const auto read = [&](const std::vector<std::uint8_t>& package) -> std::string {
        hashed.clear();
        try {
            readSetupPackage({package.data(), package.size()}, counting);
        } catch (const std::runtime_error& failure) {
            return failure.what();
        }
        return "accepted";
    };

    const auto good = buildPackage(entries);
    EXPECT_EQ(read(good), "accepted");
    EXPECT_EQ(hashed.size(), entries.size());
    for (const auto& [bytes, times] : hashed) EXPECT_EQ(times, 1) << "an entry hashed more than once";

    auto badDigestFirst = entries;
    badDigestFirst[4].corruptDigest = true;   // the large product entry
    badDigestFirst[5].nameLength = 0u;        // a later structural fault
    EXPECT_EQ(read(buildPackage(badDigestFirst)), "Installer integrity check failed");

    auto structureFirst = entries;
    structureFirst[4].name = "Product/../Samples.bin"; // a structural fault before...
    structureFirst[5].corruptDigest = true;             // ...a bad digest
    EXPECT_EQ(read(buildPackage(structureFirst)), "Unsafe installer path");

    auto missingAndCorrupt = entries;
    missingAndCorrupt.erase(missingAndCorrupt.begin() + 3); // the module
    missingAndCorrupt.back().corruptDigest = true;
    EXPECT_EQ(read(buildPackage(missingAndCorrupt)), "Installer integrity check failed");

    auto corruptLast = entries;
    corruptLast.back().corruptDigest = true;
    auto trailingAndCorrupt = buildPackage(corruptLast);
    trailingAndCorrupt.push_back(0);
    EXPECT_EQ(read(trailingAndCorrupt), "Installer integrity check failed");
    auto trailing = good;
    trailing.push_back(0);
    EXPECT_EQ(read(trailing), "Unexpected installer data");
}
