#include "package/setup_package.h"
#include "unit/package_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace elvara;
using namespace elvara::test;

namespace {

std::string failureOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::runtime_error& failure) {
        return failure.what();
    }
    return "accepted";
}

std::string parseFailure(const std::vector<std::uint8_t>& package)
{
    return failureOf([&] { parseSetupPackage({package.data(), package.size()}); });
}

// Parsed, then every entry decoded and checked as --verify-only does.
std::string verifyFailure(const std::vector<std::uint8_t>& package)
{
    return failureOf([&] { verifySetupPackageCompletely({package.data(), package.size()}); });
}

std::vector<BuiltEntry> with(std::function<void(std::vector<BuiltEntry>&)> change)
{
    auto entries = minimalEntries();
    change(entries);
    return entries;
}

BuiltEntry product(const std::string& name, const std::string& data = "x") { return {name, data}; }

struct Case {
    const char* title;
    std::vector<std::uint8_t> package;
    const char* expected;
};

std::vector<std::uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> withByteFlipped(std::vector<std::uint8_t> package, std::size_t offsetFromEnd)
{
    package[package.size() - offsetFromEnd] ^= 0x40;
    return package;
}

std::vector<std::uint8_t> appended(std::vector<std::uint8_t> package, std::size_t count)
{
    package.insert(package.end(), count, 0);
    return package;
}

std::vector<std::uint8_t> truncated(std::vector<std::uint8_t> package, std::size_t newLength)
{
    package.resize(newLength);
    return package;
}

} // namespace

TEST(SetupPackage, EveryRuleOfTheFormat)
{
    const auto good = buildPackage(minimalEntries());
    const std::string name239 = "Product/" + std::string(231, 'a');
    const std::string name240 = "Product/" + std::string(232, 'a');
    // 239 UTF-16 units in 701 bytes: the limit counts what Windows counts.
    std::string cjk239 = "Product/";
    for (int i = 0; i < 231; ++i) cjk239 += "\xE9\x9F\xB3";
    // The minimal package with one more entry of that name.
    const auto withName = [](const std::string& name, const std::string& data = "x") {
        return buildPackage(with([&](auto& e) { e.push_back(product(name, data)); }));
    };
    auto lowerCaseMagic = good;
    lowerCaseMagic[0] = 'e';
    std::vector<Case> cases = {
        {"7 bytes", bytes("ElvPkg0"), "Incomplete installer package"},
        {"only the magic", bytes("ElvPkg02"), "Damaged installer package"},
        {"wrong magic", bytes("ElvPkg03xxxx"), "Invalid installer package"},
        {"the first format", bytes("ElvPkg01\x04\0\0\0"), "Installer package of an older format"},
        {"magic in other case", lowerCaseMagic, "Invalid installer package"},
        {"count 3", buildPackage(minimalEntries(), 3u), "Installer file count"},
        {"count 4", buildPackage(minimalEntries(), 4u), "accepted"},
        {"count 65536", buildPackage(minimalEntries(), 65536u), "Installer file count"},
        {"count 65535 with four entries", buildPackage(minimalEntries(), 65535u), "Damaged installer package"},
        {"count 0", buildPackage(minimalEntries(), 0u), "Installer file count"},
        {"count huge", buildPackage(minimalEntries(), 0xFFFFFFFFu), "Installer file count"},
        {"name length 0", buildPackage(with([](auto& e) { e[0].nameLength = 0u; })), "Installer path length"},
        {"name length 240", withName(name240),
         "Installer path length"},
        {"name length 239", withName(name239), "accepted"},
        {"239 UTF-16 units of three bytes each", withName(cjk239), "accepted"},
        {"240 UTF-16 units", withName(cjk239 + "a"), "Installer path length"},
        {"name length field over 717 bytes", buildPackage(with([](auto& e) { e[0].nameLength = 718u; })),
         "Installer path length"},
        {"name runs past the end", truncated(buildPackage(minimalEntries()), 12 + 2 + 5), "Incomplete installer package"},
        {"no room for a name length", truncated(buildPackage(minimalEntries()), 13), "Damaged installer package"},
        {"bare Product/", withName("Product/"),
         "Unsafe installer path"},
        {"lower-case prefix", withName("product/a.txt"),
         "Unsafe installer path"},
        {"outside both trees", withName("VST3/other.txt"),
         "Unsafe installer path"},
        {"space", withName("Product/Presets/Warm Pad.vstpreset"), "accepted"},
        {"a trailing space", withName("Product/Warm Pad "), "Unsafe installer path"},
        {"a folder with a trailing space", withName("Product/Pads /a.txt"), "Unsafe installer path"},
        {"backslash", withName("Product/a\\b.txt"),
         "Unsafe installer path"},
        {"colon", withName("Product/a:b"), "Unsafe installer path"},
        {"less than", withName("Product/a<b"), "Unsafe installer path"},
        {"greater than", withName("Product/a>b"), "Unsafe installer path"},
        {"quotation mark", withName("Product/a\"b"), "Unsafe installer path"},
        {"vertical bar", withName("Product/a|b"), "Unsafe installer path"},
        {"question mark", withName("Product/a?b"), "Unsafe installer path"},
        {"asterisk", withName("Product/a*b"), "Unsafe installer path"},
        {"two full stops inside a name", withName("Product/a..txt"), "accepted"},
        {"parent segment", withName("Product/../x"),
         "Unsafe installer path"},
        {"double slash", withName("Product//x"),
         "Unsafe installer path"},
        {"trailing slash", withName("Product/docs/"),
         "Unsafe installer path"},
        {"Latin with accents", withName("Product/Pr\xC3\xA9r\xC3\xA9glages/Chaleur \xC3\xA9t\xC3\xA9.txt"), "accepted"},
        {"Cyrillic", withName("Product/\xD0\x9F\xD1\x80\xD0\xB5\xD1\x81\xD0\xB5\xD1\x82.txt"), "accepted"},
        {"Japanese", withName("Product/\xE9\x9F\xB3\xE8\x89\xB2.txt"), "accepted"},
        {"a character outside the BMP", withName("Product/\xF0\x9F\x8E\xB9.txt"), "accepted"},
        {"invalid UTF-8", withName("Product/\xC3.txt"), "Unsafe installer path"},
        {"an overlong form of a slash", withName("Product/a\xC0\xAF..\xC0\xAF" "b"), "Unsafe installer path"},
        {"a surrogate", withName("Product/\xED\xA0\x80.txt"), "Unsafe installer path"},
        {"control byte", withName(std::string("Product/a\0b", 11)),
         "Unsafe installer path"},
        {"tab", withName("Product/a\tb"), "Unsafe installer path"},
        {"a C1 control character", withName("Product/a\xC2\x85" "b"), "Unsafe installer path"},
        {"names differing only in letter case outside ASCII", buildPackage(with([](auto& e) {
             e.push_back(product("Product/\xC3\x84rger \xD0\x96.txt"));
             e.push_back(product("Product/\xC3\xA4rger \xD0\xB6.txt"));
         })),
         "Unsafe installer path"},
        {"one full stop and hidden names are fine",
         withName("Product/.hidden_a-b.txt"), "accepted"},
        {"duplicate before its size is read",
         buildPackage(with([](auto& e) { e.push_back({"Product/Uninstall.exe", "x", std::nullopt, ~0ull}); })),
         "Unsafe installer path"},
        {"names differing only in letter case are one file on Windows",
         withName("Product/uninstall.exe"), "Unsafe installer path"},
        {"a segment ending in a full stop", withName("Product/X."), "Unsafe installer path"},
        {"a folder ending in a full stop", withName("Product/docs./a.txt"), "Unsafe installer path"},
        {"a device name", withName("Product/NUL"), "Unsafe installer path"},
        {"a device name with an extension, any case", withName("Product/nul.txt"), "Unsafe installer path"},
        {"a device name as a folder", withName("VST3/ElvaraSound.vst3/Contents/Com3/x.bin"),
         "Unsafe installer path"},
        {"a longer name that begins like a device", withName("Product/CONSOLE.txt"), "accepted"},
        {"a device name with a superscript digit", withName("Product/COM\xC2\xB9.txt"), "Unsafe installer path"},
        {"a device name with spaces before its extension", withName("Product/Con .txt"), "Unsafe installer path"},
        {"the console's input device", withName("Product/CONIN$"), "Unsafe installer path"},
        {"a dot segment", withName("Product/./a.txt"), "Unsafe installer path"},
        {"no room for a size", truncated(buildPackage(minimalEntries()), 12 + 2 + 21 + 7), "Damaged installer package"},
        {"size over the limit even when short",
         truncated(buildPackage(with([](auto& e) { e[0].dataSize = 4294967297ull; })), 12 + 2 + 21 + 8),
         "Installer file size"},
        {"size 2^64-1", buildPackage(with([](auto& e) { e[0].dataSize = ~0ull; })), "Installer file size"},
        {"running total over the limit even when short",
         buildPackage(with([](auto& e) { e[1].dataSize = 4294967296ull; })), "Installer file size"},
        {"digests run past the end", truncated(buildPackage(minimalEntries()), 12 + 2 + 21 + 8 + 63),
         "Incomplete installer package"},
        {"frame table runs past the end", truncated(buildPackage(minimalEntries()), 12 + 2 + 21 + 8 + 64 + 7),
         "Installer integrity check failed"},
        {"data runs past the end", truncated(good, good.size() - 1), "Installer integrity check failed"},
        {"zero-size entry", withName("Product/empty.txt", ""),
         "accepted"},
        {"flipped data byte", withByteFlipped(good, 1), "Installer integrity check failed"},
        {"flipped digest byte", buildPackage(with([](auto& e) { e[2].corruptDigest = true; })),
         "Installer integrity check failed"},
        {"a size that claims a frame more than the table holds",
         buildPackage(with([](auto& e) { e[3].dataSize = 4194305ull; })), "Installer integrity check failed"},
        {"a frame stored larger than it decodes", buildPackage(with([](auto& e) {
             e[0].changeFrames = [](auto& frames) { frames[0].storedSizeField += 1; };
         })),
         "Installer integrity check failed"},
        {"a frame of zero stored bytes", buildPackage(with([](auto& e) {
             e[0].changeFrames = [](auto& frames) { frames[0].storedSizeField = 0; };
         })),
         "Installer integrity check failed"},
        {"a table that gives another decoded size", buildPackage(with([](auto& e) {
             e[0].changeFrames = [](auto& frames) { frames[0].decodedSizeField -= 1; };
         })),
         "Installer integrity check failed"},
        {"a frame that declares 4 GiB in its table", buildPackage(with([](auto& e) {
             e[0].changeFrames = [](auto& frames) { frames[0].decodedSizeField = 0xFFFFFFFFu; };
         })),
         "Installer integrity check failed"},
        {"one trailing byte", appended(good, 1), "Unexpected installer data"},
        {"uninstaller missing", buildPackage(with([](auto& e) {
             e[0].name = "Product/Other.exe";
         })),
         "Required plugin files missing"},
        {"missing required entry reported after every digest",
         buildPackage(with([](auto& e) {
             e[0].name = "Product/Other.exe";
             e[3].corruptDigest = true;
         })),
         "Installer integrity check failed"},
    };
    for (const Case& c : cases) EXPECT_EQ(parseFailure(c.package), c.expected) << c.title;
}

TEST(SetupPackage, DecodedDigestCatchesWhatTheStoredOneCannot)
{
    // The stored digest matches what was stored; only the decoded digest tells that the
    // bytes are not the file (a writer's fault, or a digest changed in the table).
    const auto flippedBeforeDigest = buildPackage(with([](auto& e) {
        e[0].changeFrames = [](auto& frames) { frames[0].stored[3] ^= 0x20; };
    }));
    EXPECT_EQ(parseFailure(flippedBeforeDigest), "accepted");
    EXPECT_EQ(verifyFailure(flippedBeforeDigest), "Installer integrity check failed");
    const auto decodedDigestChanged = buildPackage(with([](auto& e) { e[1].corruptDecodedDigest = true; }));
    EXPECT_EQ(parseFailure(decodedDigestChanged), "accepted");
    EXPECT_EQ(verifyFailure(decodedDigestChanged), "Installer integrity check failed");
    // Damage after the digest was taken: the stored digest catches it before any decoding.
    const auto flippedInTransit = buildPackage(with([](auto& e) {
        e[0].changeFrames = [](auto& frames) { frames[0].stored[3] ^= 0x20; };
        e[0].damageAfterDigest = true;
    }));
    EXPECT_EQ(parseFailure(flippedInTransit), "Installer integrity check failed");
    EXPECT_EQ(verifyFailure(buildPackage(minimalEntries())), "accepted");
}

TEST(SetupPackage, FramesSwappedBetweenTwoEntries)
{
    // Two entries of two frames each; their second frames traded, digests of the stored
    // bytes recomputed: every table still adds up, only the decoded digests differ.
    auto entries = minimalEntriesWith({{"Product/a.bin", std::string(4194304, 'a') + "A"},
                                       {"Product/b.bin", std::string(4194304, 'b') + "B"}});
    entries[4].changeFrames = [](auto& frames) { frames[1].stored = "B"; };
    entries[5].changeFrames = [](auto& frames) { frames[1].stored = "A"; };
    const auto package = buildPackage(entries);
    EXPECT_EQ(parseFailure(package), "accepted");
    EXPECT_EQ(verifyFailure(package), "Installer integrity check failed");
}

TEST(SetupPackage, SizesPastTheFormerLimitWithRealData)
{
    // 64 MiB and one byte: seventeen frames, the last of one byte.
    auto entries = minimalEntries();
    entries[0].data.assign(67108865, 'z');
    entries[0].data[67108864] = '!';
    const auto package = buildPackage(entries);
    const auto parsed = verifySetupPackageCompletely({package.data(), package.size()});
    ASSERT_EQ(parsed[0].frames.size(), 17u);
    EXPECT_EQ(parsed[0].frames.back().decodedSize, 1u);
    EXPECT_EQ(parsed[0].size, 67108865u);
}

TEST(SetupPackage, ThousandsOfEntriesAreAccepted)
{
    auto entries = minimalEntries();
    for (int i = 0; entries.size() < 2000; ++i) entries.push_back(product("Product/Presets/Preset " + std::to_string(i)));
    EXPECT_EQ(parseFailure(buildPackage(entries)), "accepted");
}

TEST(SetupPackage, EntriesComeBackInPackageOrderAsViewsIntoThePackage)
{
    auto entries = minimalEntries();
    std::swap(entries[0], entries[3]);
    entries.push_back({"Product/EULA.txt", ""});
    const auto package = buildPackage(entries);
    const auto parsed = parseSetupPackage({package.data(), package.size()});
    ASSERT_EQ(parsed.size(), entries.size());
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        EXPECT_EQ(parsed[i].name, entries[i].name);
        EXPECT_EQ(decodedEntry(parsed[i]), entries[i].data);
        EXPECT_EQ(parsed[i].size, entries[i].data.size());
        EXPECT_GE(parsed[i].stored.bytes, package.data());
        EXPECT_LE(parsed[i].stored.bytes + parsed[i].stored.length, package.data() + package.size());
        EXPECT_EQ(parsed[i].sha256.size(), 32u);
    }
}

TEST(SetupPackage, ShippedPackageParsesToNineEntriesInOrder)
{
    const auto entries = parseSetupPackage(loadPackageResource());
    ASSERT_EQ(entries.size(), 9u);
    EXPECT_EQ(entries.front().name, "Product/EULA.txt");
    EXPECT_EQ(entries.back().name, "VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3");
    for (std::size_t i = 1; i < entries.size(); ++i) EXPECT_LT(entries[i - 1].name, entries[i].name);
    // Built at the default level: the two executables are stored smaller than they are.
    for (const PackageEntry& entry : entries)
        if (entry.name.ends_with(".exe") || entry.name.ends_with(".vst3")) EXPECT_LT(entry.stored.length, entry.size) << entry.name;
    EXPECT_EQ(verifySetupPackageCompletely(loadPackageResource()).size(), 9u);
}
