#include "package/crypto.h"
#include "package/package_format.h"
#include "package/setup_package.h"
#include "unit/package_builder.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <stdexcept>

using namespace elvara;
using namespace elvara::test;

namespace {

const std::set<std::string>& failureTexts = packageFailureTexts();

// The shipped package with its two executables cut to their first 2 KiB (digests
// recomputed, frames stored), so that a hundred thousand parses and decodings handle
// kilobytes rather than megabytes.
std::vector<BuiltEntry> shippedEntriesTrimmed()
{
    std::vector<BuiltEntry> entries;
    for (const PackageEntry& entry : parseSetupPackage(loadPackageResource())) {
        std::string data = decodedEntry(entry);
        if (data.size() > 2048) data.resize(2048);
        entries.push_back({entry.name, data});
    }
    return entries;
}

void put32(std::vector<std::uint8_t>& package, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4 && at + i < package.size(); ++i) package[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
void put64(std::vector<std::uint8_t>& package, std::size_t at, std::uint64_t value)
{
    for (int i = 0; i < 8 && at + i < package.size(); ++i) package[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

TEST(PackageMutation, EveryOutcomeIsAnEntryListOrAKnownFailure)
{
    const unsigned seed = 0x5EED2026;
    std::printf("package mutation: seed %#x\n", seed);
    std::mt19937_64 random(seed);
    const auto base = shippedEntriesTrimmed();
    const auto original = buildPackage(base);

    // Offsets of every entry's fields, for mutations aimed at them.
    struct Fields {
        std::size_t nameLength, name, size, digest, table, data;
    };
    std::vector<Fields> fields;
    for (std::size_t at = 12, i = 0; i < base.size(); ++i) {
        const std::size_t name = at + 2, size = name + base[i].name.size(), digest = size + 8, table = digest + 64;
        const Fields f{at, name, size, digest, table,
                       table + package_format::frameTableRowSize * package_format::frameCountFor(base[i].data.size())};
        fields.push_back(f);
        at = f.data + base[i].data.size();
    }
    const std::uint64_t sizes[] = {0, 1, 2047, 2048, 2049, 67108863, 67108864, 67108865, 0xFFFFFFFFull,
                                   0x100000000ull, 0x7FFFFFFFFFFFFFFFull, ~0ull};
    const std::uint32_t lengths[] = {0, 1, 7, 8, 30, 31, 238, 239, 240, 716, 717, 718, 0xFFFF};
    const std::uint32_t counts[] = {0, 3, 4, 8, 9, 10, 32, 33, 65535, 65536, 0xFFFFFFFF};
    const std::uint32_t frameSizes[] = {0, 1, 2047, 2048, 2049, 4194303, 4194304, 4194305, 0x7FFFFFFF, 0xFFFFFFFF};
    const char nameBytes[] = {' ', '\\', ':', '\0', '\x7F', '\x80', '\xFF', '/', '.', 'A', '_'};

    int accepted = 0;
    std::map<std::string, int> outcomes;
    constexpr int rounds = 100000;
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::uint8_t> package = original;
        const Fields& f = fields[random() % fields.size()];
        switch (random() % 10) {
        case 0: // bit flips anywhere
            for (int n = 1 + static_cast<int>(random() % 3); n > 0; --n)
                package[random() % package.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
            break;
        case 1: // truncation
            package.resize(random() % package.size());
            break;
        case 2: // extended data
            package.resize(package.size() + 1 + random() % 64, static_cast<std::uint8_t>(random()));
            break;
        case 3:
            put32(package, 8, counts[random() % std::size(counts)]);
            break;
        case 4: {
            const std::uint32_t length = lengths[random() % std::size(lengths)];
            package[f.nameLength] = static_cast<std::uint8_t>(length);
            package[f.nameLength + 1] = static_cast<std::uint8_t>(length >> 8);
            break;
        }
        case 8: // a frame table field
            if (f.data > f.table) put32(package, f.table + 4 * (random() % 2), frameSizes[random() % std::size(frameSizes)]);
            break;
        case 5:
            put64(package, f.size, sizes[random() % std::size(sizes)]);
            break;
        case 6: // a name byte pushed toward a rule
            package[f.name + random() % (f.size - f.name)] = static_cast<std::uint8_t>(nameBytes[random() % std::size(nameBytes)]);
            break;
        case 7: { // a name replaced by another entry's name of the same length, or its case changed
            const Fields& other = fields[random() % fields.size()];
            if (other.size - other.name == f.size - f.name)
                std::copy(package.begin() + other.name, package.begin() + other.size, package.begin() + f.name);
            else
                package[f.name] = static_cast<std::uint8_t>(package[f.name] ^ 0x20);
            break;
        }
        default: // a byte of either digest
            package[f.digest + random() % 64] ^= 0x01;
            break;
        }
        try {
            const auto entries = verifySetupPackageCompletely({package.data(), package.size()});
            EXPECT_GE(entries.size(), 4u);
            ++accepted;
        } catch (const std::runtime_error& failure) {
            ++outcomes[failure.what()];
            if (!failureTexts.contains(failure.what())) ADD_FAILURE() << "round " << round << ": " << failure.what();
        } catch (...) {
            ADD_FAILURE() << "round " << round << ": an exception outside the failure table";
        }
        if (HasFailure()) break;
    }
    std::printf("package mutation: %d packages, %d accepted\n", rounds, accepted);
    for (const auto& [text, count] : outcomes) std::printf("  %6d  %s\n", count, text.c_str());
}
