#include "package/crypto.h"
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

const std::set<std::string> failureTexts = {
    "Incomplete installer package", "Invalid installer package",   "Damaged installer package",
    "Installer file count",         "Installer path length",       "Unsafe installer path",
    "Installer file size",          "Installer integrity check failed", "Unexpected installer data",
    "Required plugin files missing"};

// The shipped package with its two executables cut to their first 2 KiB (digests
// recomputed), so that a hundred thousand parses hash kilobytes rather than megabytes.
std::vector<BuiltEntry> shippedEntriesTrimmed()
{
    std::vector<BuiltEntry> entries;
    for (const PackageEntry& entry : parseSetupPackage(loadPackageResource())) {
        std::string data(reinterpret_cast<const char*>(entry.data.bytes), entry.data.length);
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
        std::size_t nameLength, name, size, digest, data;
    };
    std::vector<Fields> fields;
    for (std::size_t at = 12, i = 0; i < base.size(); ++i) {
        const Fields f{at, at + 4, at + 4 + base[i].name.size(), at + 12 + base[i].name.size(),
                       at + 44 + base[i].name.size()};
        fields.push_back(f);
        at = f.data + base[i].data.size();
    }
    const std::uint64_t sizes[] = {0, 1, 2047, 2048, 2049, 67108863, 67108864, 67108865, 0xFFFFFFFFull,
                                   0x100000000ull, 0x7FFFFFFFFFFFFFFFull, ~0ull};
    const std::uint32_t lengths[] = {0, 1, 7, 8, 30, 31, 238, 239, 240, 0x7FFFFFFF, 0xFFFFFFFF};
    const std::uint32_t counts[] = {0, 3, 4, 8, 9, 10, 32, 33, 0xFFFFFFFF};
    const char nameBytes[] = {' ', '\\', ':', '\0', '\x7F', '\x80', '\xFF', '/', '.', 'A', '_'};

    int accepted = 0;
    std::map<std::string, int> outcomes;
    constexpr int rounds = 100000;
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::uint8_t> package = original;
        const Fields& f = fields[random() % fields.size()];
        switch (random() % 9) {
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
        case 4:
            put32(package, f.nameLength, lengths[random() % std::size(lengths)]);
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
        default: // a digest byte
            package[f.digest + random() % 32] ^= 0x01;
            break;
        }
        try {
            const auto entries = parseSetupPackage({package.data(), package.size()});
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
