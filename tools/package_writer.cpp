// Writes the setup package from a payload folder: every file below it becomes one
// entry named by its path relative to the folder, in ascending byte order of name.
// Refuses every payload that the setup program's reader would refuse, naming the
// file and the rule, so a bad payload stops the build before an installer exists.
//
//   package_writer --payload DIR --output FILE [--with NAME=PATH]... [--contents DIR]
//
// --contents also writes every entry, as packaged, below DIR (a fresh copy), so
// what went into the installer can be inspected and compared after installation.
// --with adds an entry, or replaces the payload's file of that name, with another
// file (the plug-in module and the uninstaller are built, not committed).
#include "package/package_format.h"
#include "tools/sha256.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
namespace format = elvara::package_format;

namespace {

struct PayloadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void refuse(const std::string& file, const std::string& rule)
{
    throw PayloadError(file + ": " + rule);
}

std::vector<std::uint8_t> readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) refuse(path.string(), "cannot be read");
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void appendLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::map<std::string, fs::path> collectPayload(const fs::path& root)
{
    std::map<std::string, fs::path> files; // std::string orders by byte value
    if (!fs::is_directory(root)) refuse(root.string(), "payload folder not found");
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (it->is_symlink()) refuse(it->path().string(), "links are not allowed in a payload");
        if (it->is_directory()) continue;
        if (!it->is_regular_file()) refuse(it->path().string(), "not a regular file");
        files[fs::relative(it->path(), root).generic_string()] = it->path();
    }
    return files;
}

void checkEntry(const std::string& name, const fs::path& source, std::uint64_t size)
{
    const std::string where = source.string() + " (entry \"" + name + "\")";
    if (name.empty() || name.size() > format::maximumNameLength)
        refuse(where, "a name must be 1 to " + std::to_string(format::maximumNameLength) + " bytes long");
    if (format::isReservedName(name))
        refuse(where, "the name is reserved for the installer's record of installed files");
    if (!format::isAcceptableEntryName(name))
        refuse(where, "names must begin with \"" + std::string(format::bundlePrefix) + "\" or \"" +
                          std::string(format::productPrefix) +
                          "\" and use only a-z A-Z 0-9 - . _ / without \"..\", \"//\" or a trailing \"/\", "
                          "no segment ending in a full stop and no device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9)");
    if (size > format::maximumDataSize) refuse(where, "larger than the 64 MiB entry limit");
}

} // namespace

int main(int argc, char** argv)
{
    try {
        fs::path payload, output, contents;
        std::map<std::string, fs::path> replacements;
        for (int i = 1; i < argc; ++i) {
            const std::string argument = argv[i];
            if (argument == "--payload" && i + 1 < argc) {
                payload = argv[++i];
            } else if (argument == "--output" && i + 1 < argc) {
                output = argv[++i];
            } else if (argument == "--contents" && i + 1 < argc) {
                contents = argv[++i];
            } else if (argument == "--with" && i + 1 < argc) {
                const std::string pair = argv[++i];
                const auto equals = pair.find('=');
                if (equals == std::string::npos) throw PayloadError("--with expects NAME=PATH");
                replacements[pair.substr(0, equals)] = pair.substr(equals + 1);
            } else {
                throw PayloadError("usage: package_writer --payload DIR --output FILE [--with NAME=PATH]... [--contents DIR]");
            }
        }
        if (payload.empty() || output.empty())
            throw PayloadError("usage: package_writer --payload DIR --output FILE [--with NAME=PATH]... [--contents DIR]");

        auto files = collectPayload(payload);
        for (const auto& [name, path] : replacements) files[name] = path;
        if (files.size() < format::minimumEntryCount || files.size() > format::maximumEntryCount)
            refuse(payload.string(), "a package holds 4 to 32 files, this payload has " + std::to_string(files.size()));
        std::map<std::string, std::string> byKey;
        for (const auto& [name, path] : files) {
            const auto [earlier, unique] = byKey.emplace(format::uniquenessKey(name), name);
            if (!unique)
                refuse(path.string() + " (entry \"" + name + "\")",
                       "the same name as \"" + earlier->second + "\" when letter case is ignored, as Windows does");
        }
        for (std::string_view required : format::requiredNames) {
            if (!files.contains(std::string(required)))
                refuse(payload.string(), "required file \"" + std::string(required) + "\" is missing");
        }

        if (!contents.empty()) fs::remove_all(contents);
        std::vector<std::uint8_t> package(format::magic.begin(), format::magic.end());
        appendLittleEndian(package, files.size(), 4);
        std::uint64_t total = 0;
        for (const auto& [name, source] : files) {
            const std::vector<std::uint8_t> data = readFile(source);
            checkEntry(name, source, data.size());
            total += data.size();
            if (total > format::maximumDataSize) refuse(source.string(), "the package exceeds 64 MiB in total");
            if (name == format::licenceName) {
                const std::size_t invalid = format::firstInvalidUtf8Offset(
                    std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
                if (invalid != std::string_view::npos)
                    refuse(source.string(), "the licence must be UTF-8; invalid byte at offset " + std::to_string(invalid));
            }
            if ((name == format::bundleMarkerName || name == format::productMarkerName) &&
                std::string(data.begin(), data.end()) != format::ownershipMarkerLine)
                refuse(source.string(), "an ownership marker must be exactly the 33-byte marker line");
            appendLittleEndian(package, name.size(), 4);
            package.insert(package.end(), name.begin(), name.end());
            appendLittleEndian(package, data.size(), 8);
            const auto digest = elvara::tools::sha256(data.data(), data.size());
            package.insert(package.end(), digest.begin(), digest.end());
            package.insert(package.end(), data.begin(), data.end());
            if (!contents.empty()) {
                const fs::path copy = contents / name;
                fs::create_directories(copy.parent_path());
                std::ofstream(copy, std::ios::binary)
                    .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
            }
        }

        const fs::path partial = output.string() + ".partial";
        {
            std::ofstream out(partial, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));
            if (!out) throw PayloadError(output.string() + ": cannot be written");
        }
        fs::rename(partial, output);
        return 0;
    } catch (const std::exception& failure) {
        std::cerr << "package_writer: " << failure.what() << '\n';
        return 1;
    }
}
