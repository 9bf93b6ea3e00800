#pragma once
// The reader of the package format, free of any platform call: the digest streams
// are made by the caller (the processor's or the platform's SHA-256 in the program,
// our own code in the build machine's tests).
#include "package/digest_stream.h"
#include "package/setup_package.h"

namespace elvara {

// Checks every rule of the format, every frame table and every entry's stored bytes
// against their digest; returns entries in package order or throws one of the fixed
// package failure texts. Never returns a partial list.
std::vector<PackageEntry> readSetupPackage(ByteView package, const DigestStreamFactory& newDigest);

// Decodes every entry (on every core, each with its own buffer) and checks it against
// its decoded digest; writes nothing. Raises the failure of the first failing entry in
// package order.
void verifyDecodedEntries(const std::vector<PackageEntry>& entries, const DigestStreamFactory& newDigest);

} // namespace elvara
