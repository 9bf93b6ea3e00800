#pragma once
#include "package/byte_view.h"

#include <cstdint>
#include <vector>

namespace elvara {

// SHA-256 of the whole input in one call. Throws "Hash size", "Hash provider", "Hash failed".
std::vector<std::uint8_t> sha256Digest(ByteView input);

// n bytes from the system's preferred generator (n at most 4096).
// Throws "Random size", "Random generator failed".
std::vector<std::uint8_t> randomBytes(std::size_t count);

} // namespace elvara
