#pragma once
// Decodes an entry's frames one at a time into one reused buffer, free of platform calls.
// Every frame is checked before and after it is decoded, so a package that lies about a
// size, or a frame that does not decode, gives "Installer integrity check failed" and
// memory stays bounded whatever a package claims.
#include "package/digest_stream.h"
#include "package/setup_package.h"

#include <functional>
#include <memory>

namespace elvara {

class FrameDecoder {
public:
    FrameDecoder(); // the buffer and the decoding context; throws std::bad_alloc
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // One frame, decoded with one call. The view is valid until the next call. A frame
    // stored as it is comes back as a view of the stored bytes.
    ByteView decode(ByteView stored, std::uint32_t decodedSize);

private:
    std::unique_ptr<std::uint8_t[]> buffer_;
    struct Context;
    std::unique_ptr<Context> context_;
};

// Hands each decoded frame of the entry to `sink` in order, hashing it as it goes, and
// throws "Installer integrity check failed" when the decoded bytes do not match the
// entry's decoded digest (after the last frame: whatever the sink did, the caller undoes).
void decodePackageEntry(const PackageEntry& entry, FrameDecoder& decoder, DigestStream& digest,
                        const std::function<void(ByteView)>& sink);

} // namespace elvara
