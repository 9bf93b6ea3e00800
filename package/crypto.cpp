#include "package/crypto.h"

#include "base/failure.h"
#include "base/unique_handle.h"

#include <bcrypt.h>

namespace elvara {

std::vector<std::uint8_t> sha256Digest(ByteView input)
{
    failIf(input.length > 0xFFFFFFFFull, "Hash size");
    UniqueAlgorithmProvider provider;
    failIfNtError(BCryptOpenAlgorithmProvider(provider.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0), "Hash provider");
    std::vector<std::uint8_t> digest(32, 0);
    const NTSTATUS status = BCryptHash(provider.get(), nullptr, 0, const_cast<PUCHAR>(input.bytes),
                                       static_cast<ULONG>(input.length), digest.data(),
                                       static_cast<ULONG>(digest.size()));
    provider.reset(); // closed before the status is examined, on every path
    failIfNtError(status, "Hash failed");
    return digest;
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
