#include "unit/package_builder.h"

#include "tools/sha256.h"

namespace elvara::test {

namespace {

void put(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
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

std::vector<std::uint8_t> buildPackage(const std::vector<BuiltEntry>& entries, std::optional<std::uint32_t> countField)
{
    std::vector<std::uint8_t> out = {'E', 'l', 'v', 'P', 'k', 'g', '0', '1'};
    put(out, countField.value_or(static_cast<std::uint32_t>(entries.size())), 4);
    for (const BuiltEntry& entry : entries) {
        put(out, entry.nameLength.value_or(static_cast<std::uint32_t>(entry.name.size())), 4);
        out.insert(out.end(), entry.name.begin(), entry.name.end());
        put(out, entry.dataSize.value_or(entry.data.size()), 8);
        auto digest = tools::sha256(reinterpret_cast<const std::uint8_t*>(entry.data.data()), entry.data.size());
        if (entry.corruptDigest) digest[5] ^= 0x01;
        out.insert(out.end(), digest.begin(), digest.end());
        out.insert(out.end(), entry.data.begin(), entry.data.end());
    }
    return out;
}

std::vector<BuiltEntry> minimalEntriesWith(std::vector<BuiltEntry> more)
{
    std::vector<BuiltEntry> entries = minimalEntries();
    entries.insert(entries.end(), more.begin(), more.end());
    return entries;
}

} // namespace elvara::test
