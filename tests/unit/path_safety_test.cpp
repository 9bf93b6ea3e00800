#include "base/file_identity.h"
#include "base/path_text.h"
#include "install/path_safety.h"
#include "install/verified_removal.h"
#include "unit/scratch_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

using namespace elvara;

namespace {

constexpr const char* linkText = "Installation folder contains a link. Choose a normal Windows installation.";

std::string verdict(const std::wstring& path)
{
    try {
        ensureSafeInstallPath(path);
    } catch (const std::runtime_error& failure) {
        return failure.what();
    }
    return "safe";
}

// Windows path of the link fixture that the test's wrapper script made with ln -s:
// real\sub (folders), real\file and link -> real.
std::wstring linkFixture()
{
    const wchar_t* fixture = _wgetenv(L"ELVARA_LINK_FIXTURE");
    return fixture ? fixture : L"";
}

} // namespace

TEST(PathSafety, LexicalRules)
{
    test::ScratchFolder scratch; // an existing, link-free base
    const std::wstring base = scratch.path();
    struct Case {
        std::wstring path;
        const char* expected;
    };
    const Case cases[] = {
        {L"relative\\folder", "Installation path is not absolute"},
        {L"\\Program Files\\ElvaraSound", "Installation path is not absolute"},
        {L"/Program Files/ElvaraSound", "Installation path is not absolute"},
        {L"C:Program Files\\ElvaraSound", "Installation path is not absolute"},
        {L"C:", "Installation path is not absolute"},
        {L"", "Installation path is not absolute"},
        {L"ElvaraSound", "Installation path is not absolute"},
        {L"C:\\", "safe"},
        {base + L"\\not-yet\\ElvaraSound.vst3", "safe"},
        {base + L"/forward/slashes", "safe"},
        {base + L"\\\\doubled//\\mixed\\", "safe"},
        {base + L"\\...\\.hidden\\a.b", "safe"},
        {base + L"\\a\\..\\b", "Unsafe installation path"},
        {base + L"\\a\\.\\b", "Unsafe installation path"},
        {base + L"\\..", "Unsafe installation path"},
        {base + L"/./", "Unsafe installation path"},
        {L"\\\\server\\share\\ElvaraSound", "safe"},
        {L"\\\\server\\share\\..\\x", "Unsafe installation path"},
        {L"\\\\?\\C:\\Program Files\\ElvaraSound", "safe"},
        {L"\\\\.\\C:\\Program Files\\ElvaraSound", "safe"},
        {L"\\??\\C:\\Program Files\\ElvaraSound", "safe"},
        {L"\\\\?\\C:\\..\\x", "Unsafe installation path"},
    };
    for (const Case& c : cases) {
        std::string shown(c.path.begin(), c.path.end());
        EXPECT_EQ(verdict(c.path), c.expected) << shown;
    }
}

TEST(PathSafety, RootsAndComponents)
{
    const LexedPath drive = lexPath(L"C:\\\\a//b\\");
    EXPECT_TRUE(drive.absolute);
    EXPECT_EQ(drive.root, L"C:\\\\");
    EXPECT_EQ(drive.components, (std::vector<std::wstring>{L"a", L"b"}));
    const LexedPath network = lexPath(L"\\\\server\\share\\x");
    EXPECT_TRUE(network.absolute);
    EXPECT_EQ(network.root, L"\\\\server\\");
    const LexedPath device = lexPath(L"\\\\?\\C:\\x");
    EXPECT_EQ(device.root, L"\\\\?\\");
    EXPECT_EQ(device.components, (std::vector<std::wstring>{L"C:", L"x"}));
    EXPECT_FALSE(lexPath(L"\\\\\\x").absolute);
    EXPECT_EQ(appendPath(L"C:\\a", L"b/c"), L"C:\\a\\b/c");
    EXPECT_EQ(appendPath(L"C:\\a/", L"b"), L"C:\\a/b");
    EXPECT_EQ(parentPath(L"C:\\a\\b/c"), L"C:\\a\\b");
}

TEST(PathSafety, LinksAreRefusedWhereverTheyStand)
{
    const std::wstring fixture = linkFixture();
    if (fixture.empty()) GTEST_SKIP() << "run through tests/harness/with-link-fixture.sh";
    struct Case {
        std::wstring path;
        const char* expected;
    };
    const Case cases[] = {
        {fixture + L"\\real\\sub\\ElvaraSound.vst3", "safe"},
        {fixture + L"\\link", linkText},
        {fixture + L"\\link\\ElvaraSound.vst3", linkText},
        {fixture + L"/link/not/there/yet", linkText},
        {fixture + L"\\link\\..\\real", linkText},            // the link comes first
        {fixture + L"\\real\\..\\link", "Unsafe installation path"}, // the ".." comes first
    };
    for (const Case& c : cases) {
        std::string shown(c.path.begin(), c.path.end());
        EXPECT_EQ(verdict(c.path), c.expected) << shown;
    }
}

TEST(PathSafety, OneLocationHoweverItIsSpelt)
{
    const struct {
        const wchar_t* a;
        const wchar_t* b;
        bool same;
    } cases[] = {
        {L"\\\\server\\share\\Presets\\warm.preset", L"\\\\?\\UNC\\server\\share\\Presets\\warm.preset", true},
        {L"C:\\Program Files\\ElvaraSound", L"\\\\?\\C:\\Program Files\\ElvaraSound", true},
        {L"C:\\Program Files\\ElvaraSound", L"c:/program files/elvarasound/", true},
        {L"C:\\Program Files\\\u00C9lvara", L"C:\\Program Files\\\u00E9lvara", true}, // letter case beyond ASCII
        // Near misses.
        {L"\\\\server\\share\\a", L"\\\\?\\server\\share\\a", false}, // a device path, not the share
        {L"\\\\server\\share\\a", L"\\\\?\\UNC\\server\\share\\ab", false},
        {L"\\\\server\\share\\a", L"\\\\server\\sharea", false},
        {L"C:\\Program Files\\ElvaraSound", L"C:\\Program Files\\ElvaraSound.rollback-0011223344556677", false},
        {L"C:\\a", L"D:\\a", false},
        {L"C:\\", L"C:", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sameLocation(c.a, c.b), c.same) << std::string(c.a, c.a + wcslen(c.a));
        EXPECT_EQ(sameLocation(c.b, c.a), c.same);
    }
}

// Names that only the extended-length form reaches are entries like any other, judged
// and removed through their own handles; a file link is still a link, even one whose
// name differs from its target's only by a trailing dot.
TEST(PathSafety, UnusualNamesAreEntriesAndLinksStayLinks)
{
    test::ScratchFolder scratch;
    const std::wstring deepFolder = scratch / (std::wstring(100, L'd') + L"\\" + std::wstring(100, L'e') + L"\\" +
                                               std::wstring(100, L'f'));
    test::makeFolders(deepFolder);
    const std::wstring files[] = {scratch / L"trailing dot.", scratch / L"trailing space ", scratch / L"CON.txt",
                                  scratch / L"aux", deepFolder + L"\\a file deep below.txt"};
    for (const std::wstring& file : files) {
        const std::string shown(file.begin(), file.end());
        test::writeFile(extendedLengthPath(file), "the user's");
        EXPECT_EQ(inspectEntry(file), EntryKind::File) << shown;
        EXPECT_EQ(moduleUse(file), ModuleUse::Free) << shown;
        EXPECT_EQ(removeFileVerified(file).outcome, RemovalOutcome::Removed) << shown;
        EXPECT_EQ(inspectEntry(file), EntryKind::Absent) << shown;
    }
    EXPECT_EQ(inspectEntry(deepFolder), EntryKind::Folder);
    EXPECT_EQ(removeEmptyFolderVerified(deepFolder).outcome, RemovalOutcome::Removed);

    const std::wstring fixture = linkFixture();
    if (fixture.empty()) GTEST_SKIP() << "run through tests/harness/with-link-fixture.sh";
    const std::wstring link = fixture + L"\\real\\file.";
    EXPECT_EQ(inspectEntry(link), EntryKind::Link);
    EXPECT_EQ(removeFileVerified(link).outcome, RemovalOutcome::NotOurs);
    EXPECT_EQ(test::readFile(fixture + L"\\real\\file"), "data\n");
}
