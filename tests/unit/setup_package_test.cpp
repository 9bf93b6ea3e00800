#include "package/setup_package.h"
#include "unit/package_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace elvara;
using namespace elvara::test;

namespace {

std::string parseFailure(const std::vector<std::uint8_t>& package)
{
    try {
        parseSetupPackage({package.data(), package.size()});
    } catch (const std::runtime_error& failure) {
        return failure.what();
    }
    return "accepted";
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
    // The minimal package with one more entry of that name.
    const auto withName = [](const std::string& name, const std::string& data = "x") {
        return buildPackage(with([&](auto& e) { e.push_back(product(name, data)); }));
    };
    auto lowerCaseMagic = good;
    lowerCaseMagic[0] = 'e';
    std::vector<Case> cases = {
        {"7 bytes", bytes("ElvPkg0"), "Incomplete installer package"},
        {"only the magic", bytes("ElvPkg01"), "Damaged installer package"},
        {"wrong magic", bytes("ElvPkg02xxxx"), "Invalid installer package"},
        {"magic in other case", lowerCaseMagic, "Invalid installer package"},
        {"count 3", buildPackage(minimalEntries(), 3u), "Installer file count"},
        {"count 4", buildPackage(minimalEntries(), 4u), "accepted"},
        {"count 33", buildPackage(minimalEntries(), 33u), "Installer file count"},
        {"count 0", buildPackage(minimalEntries(), 0u), "Installer file count"},
        {"count huge", buildPackage(minimalEntries(), 0xFFFFFFFFu), "Installer file count"},
        {"name length 0", buildPackage(with([](auto& e) { e[0].nameLength = 0u; })), "Installer path length"},
        {"name length 240", withName(name240),
         "Installer path length"},
        {"name length 239", withName(name239), "accepted"},
        {"name runs past the end", truncated(buildPackage(minimalEntries()), 12 + 4 + 5), "Incomplete installer package"},
        {"no room for a name length", truncated(buildPackage(minimalEntries()), 14), "Damaged installer package"},
        {"bare Product/", withName("Product/"),
         "Unsafe installer path"},
        {"lower-case prefix", withName("product/a.txt"),
         "Unsafe installer path"},
        {"outside both trees", withName("VST3/other.txt"),
         "Unsafe installer path"},
        {"space", withName("Product/a b.txt"), "Unsafe installer path"},
        {"backslash", withName("Product/a\\b.txt"),
         "Unsafe installer path"},
        {"colon", withName("Product/a:b"), "Unsafe installer path"},
        {"two full stops", withName("Product/a..txt"),
         "Unsafe installer path"},
        {"parent segment", withName("Product/../x"),
         "Unsafe installer path"},
        {"double slash", withName("Product//x"),
         "Unsafe installer path"},
        {"trailing slash", withName("Product/docs/"),
         "Unsafe installer path"},
        {"non-ASCII", withName("Product/\xC3\xA9.txt"),
         "Unsafe installer path"},
        {"control byte", withName(std::string("Product/a\0b", 11)),
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
        {"no room for a size", truncated(buildPackage(minimalEntries()), 12 + 4 + 21 + 7), "Damaged installer package"},
        {"size over the limit even when short",
         truncated(buildPackage(with([](auto& e) { e[0].dataSize = 67108865ull; })), 12 + 4 + 21 + 8),
         "Installer file size"},
        {"size 2^64-1", buildPackage(with([](auto& e) { e[0].dataSize = ~0ull; })), "Installer file size"},
        {"running total over the limit even when short",
         buildPackage(with([](auto& e) { e[1].dataSize = 67108864ull; })), "Installer file size"},
        {"digest runs past the end", truncated(buildPackage(minimalEntries()), 12 + 4 + 21 + 8 + 31),
         "Incomplete installer package"},
        {"data runs past the end", truncated(good, good.size() - 1), "Incomplete installer package"},
        {"zero-size entry", withName("Product/empty.txt", ""),
         "accepted"},
        {"flipped data byte", withByteFlipped(good, 1), "Installer integrity check failed"},
        {"flipped digest byte", buildPackage(with([](auto& e) { e[2].corruptDigest = true; })),
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

TEST(SetupPackage, TotalSizeLimitWithRealData)
{
    auto entries = minimalEntries();
    entries[0].data.assign(67108864 - (entries[1].data.size() + entries[2].data.size() + entries[3].data.size()), 'z');
    EXPECT_EQ(parseFailure(buildPackage(entries)), "accepted");
    entries[3].data.push_back('!');
    EXPECT_EQ(parseFailure(buildPackage(entries)), "Installer file size");
}

TEST(SetupPackage, ThirtyTwoEntriesAreAccepted)
{
    auto entries = minimalEntries();
    for (int i = 0; entries.size() < 32; ++i) entries.push_back(product("Product/f" + std::to_string(i)));
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
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(parsed[i].data.bytes), parsed[i].data.length),
                  entries[i].data);
        EXPECT_GE(parsed[i].data.bytes, package.data());
        EXPECT_LE(parsed[i].data.bytes + parsed[i].data.length, package.data() + package.size());
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
}
