#include "tools/sha256.h"

#include "package/sha256_blocks.h"

namespace elvara::tools {

std::array<std::uint8_t, 32> sha256(const std::uint8_t* data, std::size_t length) { return sha256Of({data, length}); }

} // namespace elvara::tools
