#include "package/package_reader.h"

#include "base/failure.h"
#include "package/frame_decoder.h"
#include "package/package_format.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <functional>
#include <set>
#include <string_view>
#include <thread>

namespace elvara {

namespace format = package_format;

namespace {

constexpr const char* integrityFailure = "Installer integrity check failed";

// A forward reader that never adds an untrusted size to its position before
// comparing it with what remains, so no sum can overflow.
class PackageCursor {
public:
    explicit PackageCursor(ByteView package) : package_(package) {}

    std::size_t remaining() const noexcept { return package_.length - std::min(package_.length, position_); }
    std::size_t position() const noexcept { return position_; }
    const std::uint8_t* here() const noexcept { return package_.bytes + position_; }

    std::uint64_t readLittleEndian(std::size_t byteCount) noexcept
    {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < byteCount; ++i) value |= std::uint64_t{here()[i]} << (8 * i);
        position_ += byteCount;
        return value;
    }
    void skip(std::size_t byteCount) noexcept { position_ += byteCount; }

private:
    ByteView package_;
    std::size_t position_ = 0;
};

// Below this many bytes a second thread costs more than it saves.
constexpr std::uint64_t concurrentWorkThreshold = 4 * 1024 * 1024;

std::size_t lanesFor(const std::vector<std::uint64_t>& weights)
{
    std::uint64_t total = 0;
    for (std::uint64_t weight : weights) total += weight;
    const unsigned cores = std::thread::hardware_concurrency();
    if (total < concurrentWorkThreshold || weights.size() < 2 || cores < 2) return 1;
    return std::min<std::size_t>(cores, weights.size());
}

// Runs check(index, lane) once for every index, the heaviest first so that no lane is
// left with a large one at the end, on `lanes` threads (lane 0 is the calling thread).
// Raises the failure of the first failing index in package order; indexes after a
// known failure are skipped.
void checkEveryEntry(const std::vector<std::uint64_t>& weights, std::size_t lanes,
                     const std::function<void(std::size_t, std::size_t)>& check)
{
    const std::size_t count = weights.size();
    std::vector<std::exception_ptr> failures(count);
    std::atomic<std::size_t> firstFailure{count};
    const auto checkOne = [&](std::size_t index, std::size_t lane) {
        if (index > firstFailure.load()) return;
        try {
            check(index, lane);
        } catch (...) {
            failures[index] = std::current_exception();
            std::size_t known = firstFailure.load();
            while (index < known && !firstFailure.compare_exchange_weak(known, index)) {
            }
        }
    };
    if (lanes <= 1) {
        for (std::size_t index = 0; index < count && index <= firstFailure.load(); ++index) checkOne(index, 0);
    } else {
        std::vector<std::size_t> order(count);
        for (std::size_t index = 0; index < count; ++index) order[index] = index;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return weights[a] > weights[b]; });
        std::atomic<std::size_t> next{0};
        const auto work = [&](std::size_t lane) noexcept {
            for (std::size_t taken = next.fetch_add(1); taken < count; taken = next.fetch_add(1))
                checkOne(order[taken], lane);
        };
        std::vector<std::thread> threads;
        try {
            for (std::size_t lane = 1; lane < lanes; ++lane) threads.emplace_back(work, lane);
        } catch (...) {
            // Fewer threads than lanes: the calling thread takes the rest.
        }
        work(0);
        for (std::thread& thread : threads) thread.join();
    }
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
}

bool equalDigests(const Sha256Value& computed, const std::vector<std::uint8_t>& expected) noexcept
{
    return expected.size() == computed.size() && std::equal(computed.begin(), computed.end(), expected.begin());
}

std::vector<std::uint8_t> digestAt(const std::uint8_t* bytes) { return {bytes, bytes + format::digestSize}; }

} // namespace

std::vector<PackageEntry> readSetupPackage(ByteView package, const DigestStreamFactory& newDigest)
{
    failIf(package.length < 8, "Incomplete installer package");
    failIf(std::memcmp(package.bytes, format::firstFormatMagic.data(), 8) == 0, "Installer package of an older format");
    failIf(std::memcmp(package.bytes, format::magic.data(), 8) != 0, "Invalid installer package");
    PackageCursor cursor(package);
    cursor.skip(8);
    failIf(cursor.remaining() < 4, "Damaged installer package");
    const auto count = static_cast<std::uint32_t>(cursor.readLittleEndian(4));
    failIf(count < format::minimumEntryCount || count > format::maximumEntryCount, "Installer file count");

    std::vector<PackageEntry> entries;
    entries.reserve(count);
    std::set<std::string, std::less<>> seenNames;
    std::set<std::string, std::less<>> seenKeys; // names as Windows compares them
    std::uint64_t totalSize = 0;
    // Names, sizes and frame tables first, in one forward pass; the digests after it. A
    // failure of the pass is reported only when no entry before it fails its digest, so
    // the result is the same as checking each entry completely before reading the next.
    std::exception_ptr structureFailure;
    try {
        for (std::uint32_t index = 0; index < count; ++index) {
            failIf(cursor.remaining() < 2, "Damaged installer package");
            const auto nameLength = static_cast<std::uint32_t>(cursor.readLittleEndian(2));
            failIf(nameLength == 0 || nameLength > format::maximumNameBytes, "Installer path length");
            failIf(cursor.remaining() < nameLength, "Incomplete installer package");
            std::string name(reinterpret_cast<const char*>(cursor.here()), nameLength);
            cursor.skip(nameLength);
            failIf(format::utf16Length(name) > format::maximumNameLength, "Installer path length");
            failIf(!format::isAcceptableEntryName(name) || !seenKeys.insert(format::uniquenessKey(name)).second,
                   "Unsafe installer path");
            seenNames.insert(name);

            failIf(cursor.remaining() < 8, "Damaged installer package");
            const std::uint64_t size = cursor.readLittleEndian(8);
            // Each operand is at most the limit before the addition, so the sum cannot wrap.
            failIf(size > format::maximumDataSize, "Installer file size");
            totalSize += size;
            failIf(totalSize > format::maximumDataSize, "Installer file size");
            failIf(cursor.remaining() < 2 * format::digestSize, "Incomplete installer package");
            PackageEntry entry{std::move(name), {}, {}, size, {}, digestAt(cursor.here())};
            entry.sha256 = digestAt(cursor.here() + format::digestSize);
            cursor.skip(2 * format::digestSize);

            // At most 1,024 frames for 4 GiB: the table's size is bounded by the limits,
            // not by what the package claims.
            const std::uint64_t frameCount = format::frameCountFor(size);
            failIf(cursor.remaining() < frameCount * format::frameTableRowSize, integrityFailure);
            entry.frames.reserve(static_cast<std::size_t>(frameCount));
            std::uint64_t storedSize = 0;
            for (std::uint64_t frame = 0; frame < frameCount; ++frame) {
                const auto stored = static_cast<std::uint32_t>(cursor.readLittleEndian(4));
                const auto decoded = static_cast<std::uint32_t>(cursor.readLittleEndian(4));
                failIf(decoded != format::frameDecodedSize(size, frame) || stored == 0 || stored > decoded,
                       integrityFailure);
                storedSize += stored;
                entry.frames.push_back({stored, decoded});
            }
            failIf(cursor.remaining() < storedSize, integrityFailure);
            entry.stored = {cursor.here(), static_cast<std::size_t>(storedSize)};
            cursor.skip(entry.stored.length);
            entries.push_back(std::move(entry));
        }
        failIf(cursor.position() != package.length, "Unexpected installer data");
    } catch (...) {
        structureFailure = std::current_exception();
    }

    std::vector<std::uint64_t> weights;
    for (const PackageEntry& entry : entries) weights.push_back(entry.stored.length);
    checkEveryEntry(weights, lanesFor(weights), [&](std::size_t index, std::size_t) {
        const auto digest = newDigest();
        digest->update(entries[index].stored);
        failIf(!equalDigests(digest->finish(), entries[index].storedSha256), integrityFailure);
    });
    if (structureFailure) std::rethrow_exception(structureFailure);
    for (std::string_view required : format::requiredNames) {
        failIf(!seenNames.contains(required), "Required plugin files missing");
    }
    return entries;
}

void verifyDecodedEntries(const std::vector<PackageEntry>& entries, const DigestStreamFactory& newDigest)
{
    std::vector<std::uint64_t> weights;
    for (const PackageEntry& entry : entries) weights.push_back(entry.size);
    // Each lane holds a frame buffer: two keep the peak near 10 MiB on any processor.
    constexpr std::size_t maximumDecodingLanes = 2;
    const std::size_t lanes = std::min(lanesFor(weights), maximumDecodingLanes);
    std::vector<std::unique_ptr<FrameDecoder>> decoders;
    for (std::size_t lane = 0; lane < lanes; ++lane) decoders.push_back(std::make_unique<FrameDecoder>());
    checkEveryEntry(weights, lanes, [&](std::size_t index, std::size_t lane) {
        const auto digest = newDigest();
        decodePackageEntry(entries[index], *decoders[lane], *digest, [](ByteView) {});
    });
}

} // namespace elvara
