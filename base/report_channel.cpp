#include "base/report_channel.h"

#include "base/event_log.h"
#include "base/failure.h"
#include "base/std_streams.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstdint>
#include <mutex>

namespace elvara::report_channel {

namespace {

std::mutex channelMutex;
UniqueFile channel;

bool writeAll(HANDLE pipe, const char* data, std::size_t size) noexcept
{
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(pipe, data, static_cast<DWORD>(size), &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

bool readAll(HANDLE pipe, char* data, std::size_t size) noexcept
{
    while (size > 0) {
        DWORD read = 0;
        if (!ReadFile(pipe, data, static_cast<DWORD>(size), &read, nullptr) || read == 0) return false;
        data += read;
        size -= read;
    }
    return true;
}

constexpr std::uint32_t largestRecord = 1 << 20;

} // namespace

bool connect(const std::wstring& name)
{
    if (!name.starts_with(pipePrefix)) return false;
    // Identification only: the standard user's end must not act with the copy's rights.
    UniqueFile pipe(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (!pipe || GetFileType(pipe.get()) != FILE_TYPE_PIPE) return false;
    std::lock_guard lock(channelMutex);
    channel = std::move(pipe);
    return true;
}

bool isConnected() noexcept
{
    std::lock_guard lock(channelMutex);
    return static_cast<bool>(channel);
}

bool send(Kind kind, std::string_view text) noexcept
{
    std::lock_guard lock(channelMutex);
    if (!channel) return false;
    const std::uint32_t size = static_cast<std::uint32_t>(text.size() < largestRecord ? text.size() : largestRecord);
    char header[5] = {static_cast<char>(kind)};
    for (int i = 0; i < 4; ++i) header[1 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
    if (!writeAll(channel.get(), header, sizeof(header)) || !writeAll(channel.get(), text.data(), size))
        channel.reset(); // the caller is gone: nobody is left to tell
    return true;
}

Listener listen()
{
    Listener listener;
    // A name nobody can guess and claim first.
    unsigned char random[16] = {};
    failIfNtError(BCryptGenRandom(nullptr, random, sizeof(random), BCRYPT_USE_SYSTEM_PREFERRED_RNG),
                  "The elevated installation's channel could not be created.");
    listener.name = std::wstring(pipePrefix) + L"ElvaraSound-Livewire-Report-";
    for (const unsigned char byte : random) {
        listener.name += L"0123456789ABCDEF"[byte >> 4];
        listener.name += L"0123456789ABCDEF"[byte & 15];
    }
    listener.pipe.reset(CreateNamedPipeW(listener.name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                         PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, 64 * 1024, 0,
                                         nullptr));
    failIfLastError(!listener.pipe, "The elevated installation's channel could not be created.");
    return listener;
}

void forwardUntilClosed(const Listener& listener) noexcept
{
    try {
        if (!ConnectNamedPipe(listener.pipe.get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return;
        std::string text;
        for (;;) {
            unsigned char header[5] = {};
            if (!readAll(listener.pipe.get(), reinterpret_cast<char*>(header), sizeof(header))) return;
            const std::uint32_t size = header[1] | (header[2] << 8) | (header[3] << 16) | (std::uint32_t(header[4]) << 24);
            if (size > largestRecord) return;
            text.resize(size);
            if (size > 0 && !readAll(listener.pipe.get(), text.data(), size)) return;
            switch (static_cast<Kind>(header[0])) {
            case Kind::Output:
                writeStandardOutput(text);
                break;
            case Kind::Error:
                writeStandardError(text);
                break;
            case Kind::Log:
                event_log::write(text);
                break;
            }
        }
    } catch (...) {
    }
}

void release(const Listener& listener) noexcept
{
    // A connection of our own ends the wait; refused when the copy is connected.
    UniqueFile self(CreateFileW(listener.name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

} // namespace elvara::report_channel
