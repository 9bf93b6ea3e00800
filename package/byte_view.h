#pragma once
#include <cstddef>
#include <cstdint>

namespace elvara {

// A read-only view of bytes; owns nothing. Views into the executable's
// resource stay valid for the life of the process.
struct ByteView {
    const std::uint8_t* bytes = nullptr;
    std::size_t length = 0;
};

} // namespace elvara
