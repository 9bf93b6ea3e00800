#include "package/package_reader.h"

#include "base/failure.h"
#include "package/package_format.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string_view>

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
    std::set<std::string, std::less<>> seenNames;
    std::set<std::string, std::less<>> seenKeys; // names as Windows compares them
    std::uint64_t totalSize = 0;
    for (std::uint32_t index = 0; index < count; ++index) {
        failIf(cursor.remaining() < 4, "Damaged installer package");
        const auto nameLength = static_cast<std::uint32_t>(cursor.readLittleEndian(4));
        failIf(nameLength == 0 || nameLength > format::maximumNameLength, "Installer path length");
        failIf(cursor.remaining() < nameLength, "Incomplete installer package");
        std::string name(reinterpret_cast<const char*>(cursor.here()), nameLength);
        cursor.skip(nameLength);
        failIf(!format::isAcceptableEntryName(name) || !seenKeys.insert(format::uniquenessKey(name)).second,
               "Unsafe installer path");
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
        std::vector<std::uint8_t> digest = digestOf(data);
        failIf(!std::equal(digest.begin(), digest.end(), storedDigest), "Installer integrity check failed");
        entries.push_back(PackageEntry{std::move(name), data, std::move(digest)});
        cursor.skip(data.length);
    }
    failIf(cursor.position() != package.length, "Unexpected installer data");
    for (std::string_view required : format::requiredNames) {
        failIf(!seenNames.contains(required), "Required plugin files missing");
    }
    return entries;
}

} // namespace elvara
