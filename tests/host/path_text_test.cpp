#include "install/path_text.h"

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
