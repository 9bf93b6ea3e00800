// A bounded fuzz run of the package reader and the frame decoder, built with the
// address and undefined-behaviour sanitizers: a fixed number of mutated packages (a
// fixed seed, so a failure can be replayed), each read and decoded completely. Every
// outcome must be an entry list or one of the package failure texts; the sanitizers
// stop the run at the first read out of bounds.
//
//   package_fuzz [ROUNDS]
#include "package/frame_decoder.h"
#include "package/package_format.h"
#include "package/package_reader.h"
#include "package/sha256_blocks.h"
#include "unit/package_builder.h"

#include <zstd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <stdexcept>

using namespace elvara;
using namespace elvara::test;
namespace format = elvara::package_format;

namespace {

const std::set<std::string>& failureTexts = packageFailureTexts();

// Where an entry's fields stand in the base package.
struct Layout {
    std::size_t nameLength, size, digests, table, stored, storedLength;
};

void put(std::vector<std::uint8_t>& package, std::size_t at, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes && at + i < package.size(); ++i) package[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

int main(int argc, char** argv)
{
    const long rounds = argc > 1 ? std::atol(argv[1]) : 100000;
    const unsigned seed = 0xF4A3E5u;
    std::mt19937_64 random(seed);

    // Text, a preset-like mix and a module-like block, each a compressed frame or two.
    std::string text, mixed;
    for (int i = 0; i < 3000; ++i) text += "Warm Pad " + std::to_string(i % 97) + (i % 5 ? " " : "\n");
    for (int i = 0; i < 6000; ++i) mixed += static_cast<char>(i % 3 ? (i * 2654435761u) >> 24 : 'x');
    auto entries = minimalEntriesWith({{"Product/README.txt", text},
                                       {"Product/Presets/\xC3\x89t\xC3\xA9 Pad.vstpreset", mixed},
                                       {"Product/empty.txt", ""}});
    const FrameCompressor compress = [](std::string_view decoded) {
        std::string out(ZSTD_compressBound(decoded.size()), '\0');
        out.resize(ZSTD_compress(out.data(), out.size(), decoded.data(), decoded.size(), 19));
        return out;
    };
    const std::vector<std::uint8_t> base = buildPackage(entries, std::nullopt, compress);
    const DigestStreamFactory newDigest = [] { return std::make_unique<Sha256Blocks>(Sha256Blocks::fastest()); };

    std::vector<Layout> layout;
    {
        const auto read = readSetupPackage({base.data(), base.size()}, newDigest);
        for (std::size_t at = 12, i = 0; i < read.size(); ++i) {
            const std::size_t size = at + 2 + read[i].name.size();
            const std::size_t table = size + 8 + 64;
            const std::size_t stored = table + format::frameTableRowSize * read[i].frames.size();
            layout.push_back({at, size, size + 8, table, stored, read[i].stored.length});
            at = stored + read[i].stored.length;
        }
    }

    // One decoder for the whole run, as the installer's staging keeps one: a buffer per
    // package would spend the run in the sanitizer's bookkeeping of 4 MiB allocations.
    FrameDecoder decoder;
    std::map<std::string, long> outcomes;
    long accepted = 0;
    for (long round = 0; round < rounds; ++round) {
        std::vector<std::uint8_t> package = base;
        const Layout& entry = layout[random() % layout.size()];
        const auto anywhere = [&] { return random() % package.size(); };
        switch (random() % 8) {
        case 0: // bits flipped anywhere
            for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n) package[anywhere()] ^= 1u << (random() % 8);
            break;
        case 1:
            package.resize(anywhere());
            break;
        case 2: // a table field
            if (entry.stored > entry.table) {
                const std::uint32_t values[] = {0, 1, 2, 63, 64, 65, 4194303, 4194304, 4194305, 0x7FFFFFFF, 0xFFFFFFFF};
                put(package, entry.table + 4 * (random() % ((entry.stored - entry.table) / 4)), values[random() % 11], 4);
            }
            break;
        case 3: { // the decoded size field
            const std::uint64_t values[] = {0, 1, 4194304, 4194305, 8388609, 4294967296ull, 4294967297ull, ~0ull};
            put(package, entry.size, values[random() % 8], 8);
            break;
        }
        case 4:
            put(package, entry.nameLength, random() % 0x10000, 2);
            break;
        default: { // the stored bytes of a frame changed and the stored digest made to match them:
                   // what only the decoder and the decoded digest can catch
            if (entry.storedLength == 0) break;
            for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n) {
                const std::size_t at = entry.stored + random() % entry.storedLength;
                if (random() % 2)
                    package[at] ^= 1u << (random() % 8);
                else
                    package[at] = static_cast<std::uint8_t>(random());
            }
            const Sha256Value digest = sha256Of({package.data() + entry.stored, entry.storedLength});
            std::copy(digest.begin(), digest.end(), package.begin() + static_cast<std::ptrdiff_t>(entry.digests));
            break;
        }
        }
        try {
            const auto read = readSetupPackage({package.data(), package.size()}, newDigest);
            for (const PackageEntry& each : read) {
                const auto digest = newDigest();
                decodePackageEntry(each, decoder, *digest, [](ByteView) {});
            }
            ++accepted;
        } catch (const std::runtime_error& failure) {
            if (!failureTexts.contains(failure.what())) {
                std::printf("round %ld (seed %#x): unexpected failure \"%s\"\n", round, seed, failure.what());
                return 1;
            }
            ++outcomes[failure.what()];
        }
    }
    std::printf("package fuzz: %ld mutated packages (seed %#x), %ld accepted\n", rounds, seed, accepted);
    for (const auto& [text, count] : outcomes) std::printf("  %7ld  %s\n", count, text.c_str());
    return 0;
}
