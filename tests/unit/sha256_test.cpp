#include "package/crypto.h"
#include "package/sha256_blocks.h"
#include "package/text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace elvara;

namespace {

std::string hexOf(const Sha256Value& digest) { return toLowerHex({digest.begin(), digest.end()}); }

ByteView viewOf(const std::string& text) { return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}; }

// Our own code with the SHA extensions, our portable code, and the platform's.
struct Path {
    const char* name;
    std::unique_ptr<DigestStream> (*make)();
};
const Path paths[] = {
    {"SHA extensions", [] { return std::unique_ptr<DigestStream>(new Sha256Blocks(Sha256Blocks::Compressor::ShaExtensions)); }},
    {"portable", [] { return std::unique_ptr<DigestStream>(new Sha256Blocks(Sha256Blocks::Compressor::Portable)); }},
    {"platform (forced)", [] { return newSha256Stream(Sha256Path::Platform); }},
    {"fastest", [] { return newSha256Stream(Sha256Path::Fastest); }},
};

} // namespace

TEST(Sha256, ThisProcessorsPath)
{
    // Not a condition of the test: which path the "fastest" one takes here.
    RecordProperty("sha_extensions", processorHasShaExtensions() ? "yes" : "no");
    if (!processorHasShaExtensions()) GTEST_SKIP() << "no SHA extensions: the hardware path falls back to portable code";
}

TEST(Sha256, Fips180Vectors)
{
    const struct {
        std::string message;
        const char* digest;
    } vectors[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    };
    for (const Path& path : paths)
        for (const auto& vector : vectors) {
            const auto stream = path.make();
            stream->update(viewOf(vector.message));
            EXPECT_EQ(hexOf(stream->finish()), vector.digest) << path.name << ", " << vector.message.size() << " bytes";
        }
}

TEST(Sha256, RandomLengthsInOddPiecesAgreeOnEveryPath)
{
    std::mt19937 random(20261211);
    for (int round = 0; round < 300; ++round) {
        // Lengths around the block and padding boundaries as well as long ones.
        const std::size_t length = round < 150 ? random() % 200 : random() % 70000;
        std::string message(length, '\0');
        for (char& c : message) c = static_cast<char>(random());
        std::string expected;
        for (const Path& path : paths) {
            const auto stream = path.make();
            for (std::size_t done = 0; done < length;) {
                const std::size_t piece = std::min<std::size_t>(length - done, random() % 131);
                stream->update({reinterpret_cast<const std::uint8_t*>(message.data()) + done, piece});
                done += piece;
            }
            const std::string digest = hexOf(stream->finish());
            if (expected.empty()) expected = digest;
            ASSERT_EQ(digest, expected) << path.name << ", " << length << " bytes";
        }
        EXPECT_EQ(toLowerHex(sha256Digest(viewOf(message))), expected);
    }
}
