#include "base/path_text.h"

#include <gtest/gtest.h>

using namespace elvara;

TEST(PathText, Lexing)
{
    const struct {
        const wchar_t* path;
        bool absolute;
        const wchar_t* root;
        std::vector<std::wstring> components;
    } rows[] = {
        {L"C:\\Program Files\\ElvaraSound", true, L"C:\\", {L"Program Files", L"ElvaraSound"}},
        {L"C:\\\\a//b\\", true, L"C:\\\\", {L"a", L"b"}},
        {L"C:relative", false, L"C:", {L"relative"}},
        {L"relative\\x", false, L"", {L"relative", L"x"}},
        {L"\\\\server\\share\\x", true, L"\\\\server\\", {L"share", L"x"}},
        {L"\\\\?\\C:\\x", true, L"\\\\?\\", {L"C:", L"x"}},
        {L"\\??\\C:\\x", true, L"\\??\\", {L"C:", L"x"}},
        {L"\\\\\\x", false, L"\\\\\\", {L"x"}},
        {L"C:\\a\\..\\b", true, L"C:\\", {L"a", L"..", L"b"}},
    };
    for (const auto& row : rows) {
        const LexedPath lexed = lexPath(row.path);
        EXPECT_EQ(lexed.absolute, row.absolute) << row.path;
        EXPECT_EQ(lexed.root, row.root) << row.path;
        EXPECT_EQ(lexed.components, row.components) << row.path;
    }
}

TEST(PathText, JoiningAndParents)
{
    EXPECT_EQ(appendPath(L"C:\\a", L"b/c"), L"C:\\a\\b/c");
    EXPECT_EQ(appendPath(L"C:\\a\\", L"b"), L"C:\\a\\b");
    EXPECT_EQ(appendPath(L"C:\\a/", L"b"), L"C:\\a/b");
    EXPECT_EQ(appendPath(L"", L"b"), L"b");
    EXPECT_EQ(parentPath(L"C:\\a\\b\\\\"), L"C:\\a");
    EXPECT_EQ(parentPath(L"C:\\a/b"), L"C:\\a");
    EXPECT_EQ(parentPath(L"name"), L"");
}

TEST(PathText, ExtendedLengthForm)
{
    const std::wstring longName(250, L'x');
    const struct {
        std::wstring path;
        std::wstring extended;
    } rows[] = {
        {L"C:\\Program Files\\ElvaraSound\\CON.txt", L"\\\\?\\C:\\Program Files\\ElvaraSound\\CON.txt"},
        {L"C:/a//b\\trailing dot.", L"\\\\?\\C:\\a\\b\\trailing dot."},
        {L"C:\\a\\trailing space \\", L"\\\\?\\C:\\a\\trailing space "},
        {L"C:\\a\\.\\b\\..\\c", L"\\\\?\\C:\\a\\c"},
        {L"C:\\..\\a", L"\\\\?\\C:\\a"},
        {L"C:\\", L"\\\\?\\C:\\"},
        {L"\\\\server\\share\\a\\..\\..\\b", L"\\\\?\\UNC\\server\\share\\b"},
        {L"C:\\" + longName + L"\\" + longName, L"\\\\?\\C:\\" + longName + L"\\" + longName},
        // Already extended, a device, or not absolute: as given.
        {L"\\\\?\\C:\\a\\..\\b.", L"\\\\?\\C:\\a\\..\\b."},
        {L"\\\\.\\pipe\\x", L"\\\\.\\pipe\\x"},
        {L"\\??\\C:\\a", L"\\??\\C:\\a"},
        {L"relative\\name.", L"relative\\name."},
        {L"C:relative", L"C:relative"},
        {L"\\rooted", L"\\rooted"},
    };
    for (const auto& row : rows) EXPECT_EQ(extendedLengthPath(row.path), row.extended) << row.path;
}
