#pragma once
#include "package/byte_view.h"
#include "package/digest_stream.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace elvara {

// Which code computes SHA-256: the fastest that this processor runs (our own code with
// the processor's SHA extensions, else the platform's), or the platform's alone.
enum class Sha256Path { Fastest, Platform };

// An incremental SHA-256. Throws "Hash provider" and, from update or finish, "Hash failed".
std::unique_ptr<DigestStream> newSha256Stream(Sha256Path path = Sha256Path::Fastest);

// SHA-256 of the whole input in one call. Throws "Hash size", "Hash provider", "Hash failed".
std::vector<std::uint8_t> sha256Digest(ByteView input);

// n bytes from the system's preferred generator (n at most 4096).
// Throws "Random size", "Random generator failed".
std::vector<std::uint8_t> randomBytes(std::size_t count);

} // namespace elvara
