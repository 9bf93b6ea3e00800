#include "base/event_log.h"

#include "base/failure.h"
#include "base/report_channel.h"
#include "base/unique_handle.h"
#include "base/unlinked_file.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

namespace elvara::event_log {

namespace {

std::mutex logMutex;
UniqueFile logFile;
std::wstring logPath;

std::string timestamp()
{
    SYSTEMTIME now{};
    GetSystemTime(&now);
    char text[32] = {};
    std::snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return text;
}

std::string hex(std::uint32_t value)
{
    char text[16] = {};
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

std::wstring fullPath(const std::wstring& path)
{
    if (path.empty()) return {};
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return {};
    full.resize(length);
    return full;
}

} // namespace

bool open(const std::wstring& path, std::uint32_t* error)
{
    std::lock_guard lock(logMutex);
    std::uint32_t openError = ERROR_INVALID_NAME;
    const std::wstring full = fullPath(path);
    logFile = full.empty() ? UniqueFile() : openUnlinkedForAppend(full, openError);
    if (!logFile && error != nullptr) *error = openError;
    logPath = logFile ? full : std::wstring();
    return static_cast<bool>(logFile);
}

bool isOpen() noexcept
{
    std::lock_guard lock(logMutex);
    return static_cast<bool>(logFile);
}

std::wstring path()
{
    std::lock_guard lock(logMutex);
    return logPath;
}

void close() noexcept
{
    std::lock_guard lock(logMutex);
    logFile.reset();
    logPath.clear();
}

void write(std::string_view text) noexcept
{
    try {
        if (report_channel::send(report_channel::Kind::Log, text)) return;
        std::lock_guard lock(logMutex);
        if (!logFile) return;
        const std::string line = timestamp() + " " + std::string(text) + "\n";
        DWORD written = 0;
        WriteFile(logFile.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    } catch (...) {
        // The log never stops an installation.
    }
}

void write(std::wstring_view text) noexcept
{
    try {
        if (text.empty()) return write(std::string_view());
        const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, nullptr);
        if (size <= 0) return write(std::string_view("(a line that cannot be converted)"));
        std::string utf8(static_cast<std::size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
        write(std::string_view(utf8));
    } catch (...) {
    }
}

void writeFailure(std::string_view context, const std::exception& failure) noexcept
{
    try {
        std::string line = std::string(context) + ": " + failure.what();
        if (const auto* coded = dynamic_cast<const Failure*>(&failure)) {
            switch (coded->codeKind()) {
            case Failure::CodeKind::Win32:
                line += " (Win32 error " + std::to_string(coded->code()) + ")";
                break;
            case Failure::CodeKind::HResult:
                line += " (HRESULT " + hex(coded->code()) + ")";
                break;
            case Failure::CodeKind::NtStatus:
                line += " (NTSTATUS " + hex(coded->code()) + ")";
                break;
            case Failure::CodeKind::None:
                break;
            }
        } else if (const auto* system = dynamic_cast<const std::system_error*>(&failure)) {
            line += " (Win32 error " + std::to_string(system->code().value()) + ")";
        }
        write(line);
    } catch (...) {
    }
}

Phase::Phase(std::string name) : name_(std::move(name)), start_(std::chrono::steady_clock::now())
{
    write(name_ + " started");
}

Phase::~Phase() { end(" failed after "); }

void Phase::succeeded() noexcept { end(" finished in "); }

void Phase::end(const char* outcome) noexcept
{
    if (ended_) return;
    ended_ = true;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
    try {
        write(name_ + outcome + std::to_string(elapsed) + " ms");
    } catch (...) {
    }
}

} // namespace elvara::event_log
