#include "install/install_record_format.h"

#include <gtest/gtest.h>

using namespace elvara;

namespace {

InstallRecord sample()
{
    RecordedFile marker{"Product/install-marker.txt", 33, {}};
    marker.sha256.fill(0xab);
    RecordedFile readMe{"Product/Docs/README.txt", 0, {}};
    return {"1.4.0", {marker, readMe}};
}

} // namespace

TEST(InstallRecordFormat, RoundTrip)
{
    const std::string text = formatInstallRecord(sample());
    EXPECT_EQ(text.substr(0, text.find('\n', text.find('\n') + 1) + 1),
              "ElvaraSound installation record 1\nversion 1.4.0\n");
    const auto parsed = parseInstallRecord(text);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(formatInstallRecord(*parsed), text);
    EXPECT_EQ(parsed->files.size(), 2u);
}

TEST(InstallRecordFormat, AnythingInDoubtIsNoRecord)
{
    const std::string good = formatInstallRecord(sample());
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
        return text;
    };
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"cut short before its end line", good.substr(0, good.rfind("end "))},
        {"cut short inside its end line", good.substr(0, good.size() - 2)},
        {"no final line feed", good.substr(0, good.size() - 1)},
        {"a count that does not match", replaced("end 2", "end 3")},
        {"another header", replaced("record 1", "record 2")},
        {"CR LF", replaced("\n", "\r\n")},
        {"a name outside both trees", replaced("Product/Docs/README.txt", "Other/README.txt")},
        {"a name that climbs", replaced("Product/Docs/README.txt", "Product/../README.txt")},
        {"a repeated name in another letter case", replaced("Product/Docs/README.txt", "Product/INSTALL-marker.txt")},
        {"a record naming itself", replaced("Product/Docs/README.txt", "Product/elvara-installed-files.txt")},
        {"upper-case digest", replaced("abab", "ABab")},
        {"a short digest", replaced("file 0 0000", "file 0 000")},
        {"a leading zero in a size", replaced("file 33 ", "file 033 ")},
        {"a size over the entry limit", replaced("file 33 ", "file 4294967297 ")},
        {"an empty version", replaced("version 1.4.0", "version ")},
        {"a line that is not a file", replaced("file 0 ", "dir 0 ")},
    };
    for (const auto& [title, text] : cases) EXPECT_FALSE(parseInstallRecord(text).has_value()) << title;
}
