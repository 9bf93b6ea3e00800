#include "package/package_reader.h"

#include "base/failure.h"
#include "package/package_format.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <set>
#include <string_view>
#include <thread>

namespace elvara {

namespace format = package_format;

namespace {

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
constexpr std::uint64_t concurrentHashingThreshold = 4 * 1024 * 1024;

// Hashes every entry exactly once, the large ones on every core (one entry's digest
// stays sequential), and raises the failure of the first failing entry in package
// order. Entries after a known failure are not hashed.
void verifyDigests(std::vector<PackageEntry>& entries, const std::vector<const std::uint8_t*>& storedDigests,
                   const DigestFunction& digestOf)
{
    const std::size_t count = entries.size();
    std::vector<std::exception_ptr> failures(count);
    std::atomic<std::size_t> firstFailure{count};
    const auto hashOne = [&](std::size_t index) {
        if (index > firstFailure.load()) return;
        try {
            entries[index].sha256 = digestOf(entries[index].data);
            failIf(!std::equal(entries[index].sha256.begin(), entries[index].sha256.end(), storedDigests[index]),
                   "Installer integrity check failed");
        } catch (...) {
            failures[index] = std::current_exception();
            std::size_t known = firstFailure.load();
            while (index < known && !firstFailure.compare_exchange_weak(known, index)) {
            }
        }
    };

    std::uint64_t totalBytes = 0;
    for (const PackageEntry& entry : entries) totalBytes += entry.data.length;
    const unsigned cores = std::thread::hardware_concurrency();
    const std::size_t helpers = totalBytes < concurrentHashingThreshold || count < 2 || cores < 2
                                    ? 0
                                    : std::min<std::size_t>(cores, count) - 1;
    if (helpers == 0) {
        for (std::size_t index = 0; index < count && index <= firstFailure.load(); ++index) hashOne(index);
    } else {
        // The largest first, so that no core is left with a large entry at the end.
        std::vector<std::size_t> order(count);
        for (std::size_t index = 0; index < count; ++index) order[index] = index;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return entries[a].data.length > entries[b].data.length;
        });
        std::atomic<std::size_t> next{0};
        const auto work = [&]() noexcept {
            for (std::size_t taken = next.fetch_add(1); taken < count; taken = next.fetch_add(1)) hashOne(order[taken]);
        };
        std::vector<std::thread> threads;
        try {
            for (std::size_t i = 0; i < helpers; ++i) threads.emplace_back(work);
        } catch (...) {
            // Fewer threads than cores: the calling thread takes the rest.
        }
        work();
        for (std::thread& thread : threads) thread.join();
    }
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
}

} // namespace

std::vector<PackageEntry> readSetupPackage(ByteView package, const DigestFunction& digestOf)
{
    failIf(package.length < 8, "Incomplete installer package");
    failIf(std::memcmp(package.bytes, format::magic.data(), 8) != 0, "Invalid installer package");
    PackageCursor cursor(package);
    cursor.skip(8);
    failIf(cursor.remaining() < 4, "Damaged installer package");
    const auto count = static_cast<std::uint32_t>(cursor.readLittleEndian(4));
    failIf(count < format::minimumEntryCount || count > format::maximumEntryCount, "Installer file count");

    std::vector<PackageEntry> entries;
    entries.reserve(count);
    std::vector<const std::uint8_t*> storedDigests;
    storedDigests.reserve(count);
    std::set<std::string, std::less<>> seenNames;
    std::uint64_t totalSize = 0;
    // Names and sizes first, in one forward pass; the digests after it. A failure of
    // the pass is reported only when no entry before it fails its digest, so the result
    // is the same as checking each entry completely before reading the next.
    std::exception_ptr structureFailure;
    try {
        for (std::uint32_t index = 0; index < count; ++index) {
            failIf(cursor.remaining() < 4, "Damaged installer package");
            const auto nameLength = static_cast<std::uint32_t>(cursor.readLittleEndian(4));
            failIf(nameLength == 0 || nameLength > format::maximumNameLength, "Installer path length");
            failIf(cursor.remaining() < nameLength, "Incomplete installer package");
            std::string name(reinterpret_cast<const char*>(cursor.here()), nameLength);
            cursor.skip(nameLength);
            failIf(!format::isAcceptableEntryName(name) || seenNames.contains(name), "Unsafe installer path");
            seenNames.insert(name);

            failIf(cursor.remaining() < 8, "Damaged installer package");
            const std::uint64_t dataSize = cursor.readLittleEndian(8);
            // Each operand is at most the limit before the addition, so the sum cannot wrap.
            failIf(dataSize > format::maximumDataSize, "Installer file size");
            totalSize += dataSize;
            failIf(totalSize > format::maximumDataSize, "Installer file size");
            failIf(cursor.remaining() < format::digestSize, "Incomplete installer package");
            const std::uint8_t* storedDigest = cursor.here();
            cursor.skip(format::digestSize);
            failIf(cursor.remaining() < dataSize, "Incomplete installer package");

            const ByteView data{cursor.here(), static_cast<std::size_t>(dataSize)};
            entries.push_back(PackageEntry{std::move(name), data, {}});
            storedDigests.push_back(storedDigest);
            cursor.skip(data.length);
        }
        failIf(cursor.position() != package.length, "Unexpected installer data");
    } catch (...) {
        structureFailure = std::current_exception();
    }
    verifyDigests(entries, storedDigests, digestOf);
    if (structureFailure) std::rethrow_exception(structureFailure);
    for (std::string_view required : format::requiredNames) {
        failIf(!seenNames.contains(required), "Required plugin files missing");
    }
    return entries;
}

} // namespace elvara
