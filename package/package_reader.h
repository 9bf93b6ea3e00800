#pragma once
// The reader of the package format, free of any platform call: the digest function
// is given by the caller (SHA-256 of the platform in the program, a portable one in
// the build machine's tests).
#include "package/setup_package.h"

#include <functional>

namespace elvara {

using DigestFunction = std::function<std::vector<std::uint8_t>(ByteView)>;

// Checks every rule of the format and every digest; returns entries in package order
// or throws one of the fixed package failure texts. Never returns a partial list.
std::vector<PackageEntry> readSetupPackage(ByteView package, const DigestFunction& digest);

} // namespace elvara
