#pragma once
// SHA-256 for the build tools, which run on the build machine where
// the setup program's own (platform) hashing is not available.
#include <array>
#include <cstddef>
#include <cstdint>

namespace elvara::tools {

std::array<std::uint8_t, 32> sha256(const std::uint8_t* data, std::size_t length);

} // namespace elvara::tools
