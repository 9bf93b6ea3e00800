#include "package/crypto.h"
#include "package/text.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace elvara;

namespace {

template <typename Call>
std::string failureOf(Call call)
{
    try {
        call();
    } catch (const std::runtime_error& failure) {
        return failure.what();
    }
    return "no failure";
}

} // namespace

TEST(Crypto, Sha256OfKnownInputs)
{
    EXPECT_EQ(toLowerHex(sha256Digest({nullptr, 0})),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const std::string abc = "abc";
    EXPECT_EQ(toLowerHex(sha256Digest({reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size()})),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // The length check comes before any platform call, so the pointer is never read.
    const std::uint8_t byte = 0;
    EXPECT_EQ(failureOf([&] { sha256Digest({&byte, 0x100000000ull}); }), "Hash size");
}

TEST(Crypto, RandomBytesBounds)
{
    EXPECT_TRUE(randomBytes(0).empty());
    EXPECT_EQ(randomBytes(4096).size(), 4096u);
    EXPECT_EQ(failureOf([] { randomBytes(4097); }), "Random size");
    EXPECT_NE(randomBytes(8), randomBytes(8));
}

TEST(Text, LowerHex)
{
    EXPECT_EQ(toLowerHex({0x00, 0xAB, 0xFF}), "00abff");
    EXPECT_EQ(toLowerHex({}), "");
}

TEST(Text, Utf8ToWide)
{
    EXPECT_EQ(utf8ToWide(""), L"");
    EXPECT_EQ(utf8ToWide("Product/EULA.txt"), L"Product/EULA.txt");
    EXPECT_EQ(utf8ToWide("\xC2\xB7"), L"\u00B7");
    const std::wstring pair = utf8ToWide("\xF0\x9F\x8E\xB5"); // U+1F3B5
    ASSERT_EQ(pair.size(), 2u);
    EXPECT_EQ(pair[0], 0xD83C);
    EXPECT_EQ(pair[1], 0xDFB5);
    EXPECT_EQ(utf8ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
    for (const char* invalid : {"\x80", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80", "ok\xFF"})
        EXPECT_EQ(failureOf([&] { utf8ToWide(invalid); }), "Invalid UTF-8") << invalid;
}
