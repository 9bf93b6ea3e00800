#include "unit/package_builder.h"

#include "package/digest_stream.h"
#include "package/frame_decoder.h"
#include "package/package_format.h"
#include "package/sha256_blocks.h"
#include "tools/sha256.h"

namespace elvara::test {

namespace format = package_format;

namespace {

void put(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::array<std::uint8_t, 32> digestOf(const std::string& bytes)
{
    return tools::sha256(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::vector<BuiltFrame> framesOf(const std::string& data, const FrameCompressor& compress)
{
    std::vector<BuiltFrame> frames;
    for (std::uint64_t i = 0; i < format::frameCountFor(data.size()); ++i) {
        const std::uint32_t size = format::frameDecodedSize(data.size(), i);
        const std::string_view decoded = std::string_view(data).substr(i * format::frameSize, size);
        std::string stored = compress ? compress(decoded) : std::string();
        if (stored.empty() || stored.size() >= size) stored = decoded;
        frames.push_back({stored, static_cast<std::uint32_t>(stored.size()), size});
    }
    return frames;
}

// A frame whose stored bytes the change replaced gets their size in the table; a
// size field that the change set itself stays as it set it.
void changeKeepingStoredSizes(std::vector<BuiltFrame>& frames, const std::function<void(std::vector<BuiltFrame>&)>& change)
{
    std::vector<std::pair<std::size_t, std::uint32_t>> before;
    for (const BuiltFrame& frame : frames) before.emplace_back(frame.stored.size(), frame.storedSizeField);
    change(frames);
    for (std::size_t i = 0; i < frames.size() && i < before.size(); ++i)
        if (frames[i].storedSizeField == before[i].second && frames[i].stored.size() != before[i].first)
            frames[i].storedSizeField = static_cast<std::uint32_t>(frames[i].stored.size());
}

} // namespace

std::vector<BuiltEntry> minimalEntries()
{
    return {
        {"Product/Uninstall.exe", "MZ uninstaller"},
        {"Product/install-marker.txt", "ElvaraSound-Livewire-CF9A52D3-v1\n"},
        {"VST3/ElvaraSound.vst3/Contents/Resources/elvara-product.txt", "ElvaraSound-Livewire-CF9A52D3-v1\n"},
        {"VST3/ElvaraSound.vst3/Contents/x86_64-win/ElvaraSound.vst3", "MZ plugin"},
    };
}

std::vector<std::uint8_t> buildPackage(const std::vector<BuiltEntry>& entries, std::optional<std::uint32_t> countField,
                                       const FrameCompressor& compress)
{
    std::vector<std::uint8_t> out(format::magic.begin(), format::magic.end());
    put(out, countField.value_or(static_cast<std::uint32_t>(entries.size())), 4);
    for (const BuiltEntry& entry : entries) {
        put(out, entry.nameLength.value_or(static_cast<std::uint32_t>(entry.name.size())), 2);
        out.insert(out.end(), entry.name.begin(), entry.name.end());
        put(out, entry.dataSize.value_or(entry.data.size()), 8);
        std::vector<BuiltFrame> frames = framesOf(entry.data, compress);
        const auto storedBytes = [&frames] {
            std::string all;
            for (const BuiltFrame& frame : frames) all += frame.stored;
            return all;
        };
        if (entry.changeFrames && !entry.damageAfterDigest) changeKeepingStoredSizes(frames, entry.changeFrames);
        auto storedDigest = digestOf(storedBytes());
        if (entry.changeFrames && entry.damageAfterDigest) changeKeepingStoredSizes(frames, entry.changeFrames);
        auto decodedDigest = digestOf(entry.data);
        if (entry.corruptDigest) storedDigest[5] ^= 0x01;
        if (entry.corruptDecodedDigest) decodedDigest[7] ^= 0x01;
        out.insert(out.end(), storedDigest.begin(), storedDigest.end());
        out.insert(out.end(), decodedDigest.begin(), decodedDigest.end());
        for (const BuiltFrame& frame : frames) {
            put(out, frame.storedSizeField, 4);
            put(out, frame.decodedSizeField, 4);
        }
        const std::string stored = storedBytes();
        out.insert(out.end(), stored.begin(), stored.end());
    }
    return out;
}

const std::set<std::string>& packageFailureTexts()
{
    static const std::set<std::string> texts = {
        "Incomplete installer package",  "Invalid installer package",        "Damaged installer package",
        "Installer file count",          "Installer path length",            "Unsafe installer path",
        "Installer file size",           "Installer integrity check failed", "Unexpected installer data",
        "Required plugin files missing", "Installer package of an older format"};
    return texts;
}

std::string decodedEntry(const PackageEntry& entry)
{
    FrameDecoder decoder;
    Sha256Blocks digest(Sha256Blocks::fastest());
    std::string decoded;
    decodePackageEntry(entry, decoder, digest,
                       [&](ByteView bytes) { decoded.append(reinterpret_cast<const char*>(bytes.bytes), bytes.length); });
    return decoded;
}

std::vector<BuiltEntry> minimalEntriesWith(std::vector<BuiltEntry> more)
{
    std::vector<BuiltEntry> entries = minimalEntries();
    entries.insert(entries.end(), more.begin(), more.end());
    return entries;
}

} // namespace elvara::test
