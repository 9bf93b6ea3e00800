#include "install/ownership.h"
#include "unit/scratch_folder.h"

#include <gtest/gtest.h>

using namespace elvara;
using namespace elvara::test;

TEST(Ownership, MarkerMustMatchByteForByte)
{
    struct Case {
        const char* title;
        std::string content;
        bool owned;
    };
    const Case cases[] = {
        {"exact", "ElvaraSound-Livewire-CF9A52D3-v1\n", true},
        {"CR LF", "ElvaraSound-Livewire-CF9A52D3-v1\r\n", false},
        {"no line feed", "ElvaraSound-Livewire-CF9A52D3-v1", false},
        {"extra bytes", "ElvaraSound-Livewire-CF9A52D3-v1\nx", false},
        {"other case", "elvarasound-livewire-cf9a52d3-v1\n", false},
        {"byte-order mark", "\xEF\xBB\xBF" "ElvaraSound-Livewire-CF9A52D3-v1\n", false},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        ScratchFolder scratch;
        makeFolders(scratch / L"bundle\\Contents\\Resources");
        writeFile(scratch / L"bundle\\Contents\\Resources\\elvara-product.txt", c.content);
        writeFile(scratch / L"install-marker.txt", c.content);
        EXPECT_EQ(isOwnedFolder(scratch / L"bundle", PackageTree::Bundle), c.owned) << c.title;
        EXPECT_EQ(isOwnedFolder(scratch.path(), PackageTree::Product), c.owned) << c.title;
        // Each folder kind reads only its own marker.
        EXPECT_FALSE(isOwnedFolder(scratch / L"bundle", PackageTree::Product)) << c.title;
    }
}

TEST(Ownership, FoldersWithoutAReadableMarkerAreForeign)
{
    ScratchFolder scratch;
    makeFolders(scratch / L"empty");
    EXPECT_FALSE(isOwnedFolder(scratch / L"empty", PackageTree::Bundle));
    EXPECT_FALSE(isOwnedFolder(scratch / L"empty", PackageTree::Product));
    writeFile(scratch / L"a-file", "ElvaraSound-Livewire-CF9A52D3-v1\n");
    EXPECT_FALSE(isOwnedFolder(scratch / L"a-file", PackageTree::Product));
    makeFolders(scratch / L"marker-is-folder\\install-marker.txt");
    EXPECT_FALSE(isOwnedFolder(scratch / L"marker-is-folder", PackageTree::Product));
    EXPECT_THROW(isOwnedFolder(L"relative", PackageTree::Product), std::runtime_error);
}
