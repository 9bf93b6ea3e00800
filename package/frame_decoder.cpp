#include "package/frame_decoder.h"

#include "base/failure.h"
#include "package/package_format.h"

#include <zstd.h>

#include <algorithm>
#include <new>

namespace elvara {

namespace format = package_format;

struct FrameDecoder::Context {
    ZSTD_DCtx* context = ZSTD_createDCtx();
    ~Context() { ZSTD_freeDCtx(context); }
};

FrameDecoder::FrameDecoder()
    : buffer_(new std::uint8_t[format::frameSize]), context_(std::make_unique<Context>())
{
    if (context_->context == nullptr) throw std::bad_alloc();
}

FrameDecoder::~FrameDecoder() = default;

ByteView FrameDecoder::decode(ByteView stored, std::uint32_t decodedSize)
{
    constexpr const char* damaged = "Installer integrity check failed";
    failIf(decodedSize == 0 || decodedSize > format::frameSize || stored.length == 0 || stored.length > decodedSize,
           damaged);
    if (stored.length == decodedSize) return stored;
    // Exactly one frame that declares exactly the size of the table; the declared size
    // is read before anything is decoded, so a frame that claims 4 GiB costs nothing.
    failIf(ZSTD_getFrameContentSize(stored.bytes, stored.length) != decodedSize, damaged);
    failIf(ZSTD_findFrameCompressedSize(stored.bytes, stored.length) != stored.length, damaged);
    const std::size_t decoded =
        ZSTD_decompressDCtx(context_->context, buffer_.get(), decodedSize, stored.bytes, stored.length);
    failIf(ZSTD_isError(decoded) || decoded != decodedSize, damaged);
    return {buffer_.get(), decoded};
}

void decodePackageEntry(const PackageEntry& entry, FrameDecoder& decoder, DigestStream& digest,
                        const std::function<void(ByteView)>& sink)
{
    std::size_t position = 0;
    for (const PackageFrame& frame : entry.frames) {
        const ByteView decoded = decoder.decode({entry.stored.bytes + position, frame.storedSize}, frame.decodedSize);
        digest.update(decoded);
        sink(decoded);
        position += frame.storedSize;
    }
    const Sha256Value value = digest.finish();
    failIf(entry.sha256.size() != value.size() || !std::equal(value.begin(), value.end(), entry.sha256.begin()),
           "Installer integrity check failed");
}

} // namespace elvara
