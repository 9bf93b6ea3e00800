#pragma once
// An incremental digest: the reader hashes frames as they are decoded, so a file is
// never held whole. The program makes its streams with the platform's help; the
// build machine's tools and tests make theirs without it.
#include "package/byte_view.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace elvara {

using Sha256Value = std::array<std::uint8_t, 32>;

class DigestStream {
public:
    virtual ~DigestStream() = default;
    virtual void update(ByteView bytes) = 0;
    // Ends the stream; update and finish may not be called again.
    virtual Sha256Value finish() = 0;
};

using DigestStreamFactory = std::function<std::unique_ptr<DigestStream>()>;

} // namespace elvara
