// Writes the setup package from a payload folder: every file below it becomes one
// entry named by its path relative to the folder, in ascending byte order of name,
// stored as independent frames of at most 4 MiB, each compressed with zstd at the
// chosen level or stored as it is where compression would not make it smaller.
// Refuses every payload that the setup program's reader would refuse, naming the
// file and the rule, so a bad payload stops the build before an installer exists.
// The output depends only on the payload and the level (frames are compressed
// independently, on every core, and written in order).
//
//   package_writer --payload DIR --output FILE [--level N] [--with NAME=PATH]... [--contents DIR]
//
// --level 1 to 22 is zstd's level (19 when not given); 0 stores every frame as it is.
// --contents also writes every entry, as packaged, below DIR (a fresh copy), so
// what went into the installer can be inspected and compared after installation.
// --with adds an entry, or replaces the payload's file of that name, with another
// file (the plug-in module and the uninstaller are built, not committed).
#include "package/package_format.h"
#include "package/sha256_blocks.h"

#include <zstd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
namespace format = elvara::package_format;

namespace {

constexpr char usage[] =
    "usage: package_writer --payload DIR --output FILE [--level N] [--with NAME=PATH]... [--contents DIR]";
// Entries are read and compressed in batches of about this many bytes.
constexpr std::uint64_t batchBytes = 64 * 1024 * 1024;

struct PayloadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void refuse(const std::string& file, const std::string& rule)
{
    throw PayloadError(file + ": " + rule);
}

std::string entryPlace(const std::string& name, const fs::path& source)
{
    return source.string() + " (entry \"" + name + "\")";
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

// Every name, its rules and its uniqueness as Windows compares names, before any byte is read.
void checkNames(const std::map<std::string, fs::path>& files, const fs::path& payload)
{
    if (files.size() < format::minimumEntryCount || files.size() > format::maximumEntryCount)
        refuse(payload.string(), "a package holds " + std::to_string(format::minimumEntryCount) + " to " +
                                     std::to_string(format::maximumEntryCount) + " files, this payload has " +
                                     std::to_string(files.size()));
    std::map<std::string, std::string> byKey;
    for (const auto& [name, path] : files) {
        const std::string_view rule = format::brokenNameRule(name);
        if (!rule.empty()) refuse(entryPlace(name, path), std::string(rule));
        const auto [earlier, unique] = byKey.emplace(format::uniquenessKey(name), name);
        if (!unique)
            refuse(entryPlace(name, path),
                   "the same name as \"" + earlier->second + "\" when letter case is ignored, as Windows does");
    }
    for (std::string_view required : format::requiredNames) {
        if (!files.contains(std::string(required)))
            refuse(payload.string(), "required file \"" + std::string(required) + "\" is missing");
    }
}

void checkContent(const std::string& name, const fs::path& source, const std::vector<std::uint8_t>& data)
{
    if (name == format::licenceName) {
        const std::size_t invalid =
            format::firstInvalidUtf8Offset(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
        if (invalid != std::string_view::npos)
            refuse(source.string(), "the licence must be UTF-8; invalid byte at offset " + std::to_string(invalid));
    }
    if ((name == format::bundleMarkerName || name == format::productMarkerName) &&
        std::string(data.begin(), data.end()) != format::ownershipMarkerLine)
        refuse(source.string(), "an ownership marker must be exactly the 33-byte marker line");
}

struct Frame {
    const std::uint8_t* decoded = nullptr;
    std::uint32_t decodedSize = 0;
    std::vector<std::uint8_t> compressed; // empty: stored as it is
};

struct PendingEntry {
    std::string name;
    std::vector<std::uint8_t> data;
    std::vector<Frame> frames;
};

// Each frame independently, on every core; a frame that zstd would not make smaller is
// stored as it is.
void compressFrames(std::vector<PendingEntry>& batch, int level)
{
    std::vector<Frame*> frames;
    for (PendingEntry& entry : batch) {
        const std::uint64_t count = format::frameCountFor(entry.data.size());
        for (std::uint64_t i = 0; i < count; ++i)
            entry.frames.push_back({entry.data.data() + i * format::frameSize,
                                    format::frameDecodedSize(entry.data.size(), i), {}});
        for (Frame& frame : entry.frames) frames.push_back(&frame);
    }
    if (level == 0) return;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    const auto work = [&] {
        ZSTD_CCtx* context = ZSTD_createCCtx();
        if (context == nullptr || ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level)) ||
            ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, 1)) ||
            ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 0))) {
            failed = true;
        }
        for (std::size_t i = next++; i < frames.size() && !failed; i = next++) {
            Frame& frame = *frames[i];
            std::vector<std::uint8_t> out(ZSTD_compressBound(frame.decodedSize));
            // Data that the fastest level cannot shrink by a 32nd (audio already
            // compressed, encrypted or random bytes) is stored as it is: the slow levels
            // find little more there, at a hundred times the time.
            const std::size_t quick = ZSTD_compress(out.data(), out.size(), frame.decoded, frame.decodedSize, 1);
            if (ZSTD_isError(quick)) failed = true;
            if (failed || quick > frame.decodedSize - frame.decodedSize / 32) continue;
            const std::size_t size =
                ZSTD_compress2(context, out.data(), out.size(), frame.decoded, frame.decodedSize);
            if (ZSTD_isError(size)) {
                failed = true;
            } else if (size < frame.decodedSize) {
                out.resize(size);
                frame.compressed = std::move(out);
            }
        }
        ZSTD_freeCCtx(context);
    };
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < std::max(1u, std::thread::hardware_concurrency()); ++i) threads.emplace_back(work);
    work();
    for (std::thread& thread : threads) thread.join();
    if (failed) throw PayloadError("zstd could not compress a frame");
}

class PackageOutput {
public:
    PackageOutput(const fs::path& path, std::size_t entryCount) : path_(path), out_(path, std::ios::binary | std::ios::trunc)
    {
        std::vector<std::uint8_t> header(format::magic.begin(), format::magic.end());
        appendLittleEndian(header, entryCount, 4);
        write(header);
    }

    void writeEntry(const PendingEntry& entry)
    {
        elvara::Sha256Blocks storedDigest(elvara::Sha256Blocks::fastest());
        for (const Frame& frame : entry.frames)
            storedDigest.update(frame.compressed.empty() ? elvara::ByteView{frame.decoded, frame.decodedSize}
                                                         : elvara::ByteView{frame.compressed.data(), frame.compressed.size()});
        std::vector<std::uint8_t> head;
        appendLittleEndian(head, entry.name.size(), 2);
        head.insert(head.end(), entry.name.begin(), entry.name.end());
        appendLittleEndian(head, entry.data.size(), 8);
        const auto stored = storedDigest.finish();
        const auto decoded = elvara::sha256Of({entry.data.data(), entry.data.size()});
        head.insert(head.end(), stored.begin(), stored.end());
        head.insert(head.end(), decoded.begin(), decoded.end());
        for (const Frame& frame : entry.frames) {
            appendLittleEndian(head, frame.compressed.empty() ? frame.decodedSize : frame.compressed.size(), 4);
            appendLittleEndian(head, frame.decodedSize, 4);
        }
        write(head);
        for (const Frame& frame : entry.frames) {
            if (frame.compressed.empty())
                write(frame.decoded, frame.decodedSize);
            else
                write(frame.compressed.data(), frame.compressed.size());
        }
    }

    void close()
    {
        out_.close();
        if (!out_) throw PayloadError(path_.string() + ": cannot be written");
    }

private:
    void write(const std::vector<std::uint8_t>& bytes) { write(bytes.data(), bytes.size()); }
    void write(const std::uint8_t* bytes, std::size_t length)
    {
        written_ += length;
        if (written_ > format::maximumPackageSize)
            throw PayloadError("the package exceeds " + std::to_string(format::maximumPackageSize) +
                               " bytes: the installer would reach the 2 GiB that Windows loads at most");
        out_.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(length));
    }

    fs::path path_;
    std::ofstream out_;
    std::uint64_t written_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
    try {
        fs::path payload, output, contents;
        int level = 19;
        std::map<std::string, fs::path> replacements;
        for (int i = 1; i < argc; ++i) {
            const std::string argument = argv[i];
            if (argument == "--payload" && i + 1 < argc) {
                payload = argv[++i];
            } else if (argument == "--output" && i + 1 < argc) {
                output = argv[++i];
            } else if (argument == "--contents" && i + 1 < argc) {
                contents = argv[++i];
            } else if (argument == "--level" && i + 1 < argc) {
                const std::string text = argv[++i];
                if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos ||
                    std::stoi(text) > ZSTD_maxCLevel())
                    throw PayloadError("--level expects 0 (stored) to " + std::to_string(ZSTD_maxCLevel()));
                level = std::stoi(text);
            } else if (argument == "--with" && i + 1 < argc) {
                const std::string pair = argv[++i];
                const auto equals = pair.find('=');
                if (equals == std::string::npos) throw PayloadError("--with expects NAME=PATH");
                replacements[pair.substr(0, equals)] = pair.substr(equals + 1);
            } else {
                throw PayloadError(usage);
            }
        }
        if (payload.empty() || output.empty()) throw PayloadError(usage);

        auto files = collectPayload(payload);
        for (const auto& [name, path] : replacements) files[name] = path;
        checkNames(files, payload);
        std::uint64_t total = 0;
        for (const auto& [name, source] : files) {
            total += fs::file_size(source);
            if (total > format::maximumDataSize)
                refuse(source.string(), "the payload exceeds " + std::to_string(format::maximumDataSize) +
                                            " bytes (4 GiB) in total");
        }

        if (level == 0 && total > format::maximumPackageSize)
            refuse(payload.string(), "the payload exceeds " + std::to_string(format::maximumPackageSize) +
                                         " bytes stored: the installer would reach the 2 GiB that Windows loads at most");
        if (!contents.empty()) fs::remove_all(contents);
        const fs::path partial = output.string() + ".partial";
        PackageOutput package(partial, files.size());
        std::vector<PendingEntry> batch;
        std::uint64_t batched = 0;
        const auto flush = [&] {
            compressFrames(batch, level);
            for (const PendingEntry& entry : batch) package.writeEntry(entry);
            batch.clear();
            batched = 0;
        };
        for (const auto& [name, source] : files) {
            std::vector<std::uint8_t> data = readFile(source);
            checkContent(name, source, data);
            if (!contents.empty()) {
                const fs::path copy = contents / fs::u8path(name);
                fs::create_directories(copy.parent_path());
                std::ofstream(copy, std::ios::binary)
                    .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
            }
            batched += data.size();
            batch.push_back({name, std::move(data), {}});
            if (batched >= batchBytes) flush();
        }
        flush();
        package.close();
        fs::rename(partial, output);
        return 0;
    } catch (const std::exception& failure) {
        std::cerr << "package_writer: " << failure.what() << '\n';
        return 1;
    }
}
