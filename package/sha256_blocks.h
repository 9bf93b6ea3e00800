#pragma once
// SHA-256 computed by our own code, free of platform calls: with the processor's SHA
// extensions where it has them, or portably (the build machine's tools and tests).
#include "package/digest_stream.h"

#include <cstddef>
#include <cstdint>

namespace elvara {

// cpuid leaf 7 EBX bit 29 (SHA), with SSSE3 and SSE4.1 (leaf 1 ECX bits 9 and 19).
bool processorHasShaExtensions() noexcept;

class Sha256Blocks final : public DigestStream {
public:
    enum class Compressor { ShaExtensions, Portable };
    // ShaExtensions only where processorHasShaExtensions() says so.
    explicit Sha256Blocks(Compressor compressor) noexcept;
    // The fastest of the two that this processor runs.
    static Compressor fastest() noexcept;

    void update(ByteView bytes) override;
    Sha256Value finish() override;

private:
    void compress(const std::uint8_t* blocks, std::size_t count) noexcept;

    Compressor compressor_;
    std::uint32_t state_[8];
    std::uint8_t pending_[64];
    std::size_t pendingLength_ = 0;
    std::uint64_t totalLength_ = 0;
};

// One-shot helper for whole buffers.
Sha256Value sha256Of(ByteView bytes, Sha256Blocks::Compressor compressor = Sha256Blocks::fastest());

} // namespace elvara
