#include "package/crypto.h"

#include "base/failure.h"
#include "base/unique_handle.h"
#include "package/sha256_blocks.h"

#include <bcrypt.h>

#include <algorithm>

namespace elvara {

namespace {

// The platform's SHA-256, for processors without the SHA extensions.
class PlatformSha256 final : public DigestStream {
public:
    PlatformSha256()
    {
        failIfNtError(BCryptOpenAlgorithmProvider(provider_.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0), "Hash provider");
        failIfNtError(BCryptCreateHash(provider_.get(), hash_.put(), nullptr, 0, nullptr, 0, 0), "Hash provider");
    }

    void update(ByteView bytes) override
    {
        // One call takes at most a ULONG of bytes.
        constexpr std::size_t largestPiece = 0x40000000;
        for (std::size_t done = 0; done < bytes.length;) {
            const std::size_t piece = std::min(largestPiece, bytes.length - done);
            failIfNtError(BCryptHashData(hash_.get(), const_cast<PUCHAR>(bytes.bytes + done), static_cast<ULONG>(piece), 0),
                          "Hash failed");
            done += piece;
        }
    }

    Sha256Value finish() override
    {
        Sha256Value digest{};
        failIfNtError(BCryptFinishHash(hash_.get(), digest.data(), static_cast<ULONG>(digest.size()), 0), "Hash failed");
        return digest;
    }

private:
    UniqueAlgorithmProvider provider_;
    UniqueHashObject hash_; // destroyed before its provider
};

} // namespace

std::unique_ptr<DigestStream> newSha256Stream(Sha256Path path)
{
    if (path == Sha256Path::Fastest && processorHasShaExtensions())
        return std::make_unique<Sha256Blocks>(Sha256Blocks::Compressor::ShaExtensions);
    return std::make_unique<PlatformSha256>();
}

std::vector<std::uint8_t> sha256Digest(ByteView input)
{
    failIf(input.length > 0xFFFFFFFFull, "Hash size");
    const std::unique_ptr<DigestStream> stream = newSha256Stream();
    stream->update(input);
    const Sha256Value digest = stream->finish();
    return {digest.begin(), digest.end()};
}

std::vector<std::uint8_t> randomBytes(std::size_t count)
{
    failIf(count > 4096, "Random size");
    std::vector<std::uint8_t> bytes(count, 0);
    if (count == 0) return bytes; // nothing to ask for; some providers refuse an empty buffer
    failIfNtError(BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG),
                  "Random generator failed");
    return bytes;
}

} // namespace elvara
