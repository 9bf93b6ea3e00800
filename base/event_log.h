#pragma once
// The installation log (--log FILE): UTF-8 lines, each with a UTC timestamp, one per
// event, for an administrator to read afterwards. Process-wide, so that every layer
// can report its events without carrying a logger; when no log is open, writing
// costs nothing and does nothing. Safe from any thread.
#include <chrono>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace elvara::event_log {

// Opens FILE (made a full path) for appending (created when missing), never through a link
// (see openUnlinkedForAppend). False when it cannot be opened or is refused; the
// Win32 error is then in *error.
bool open(const std::wstring& path, std::uint32_t* error = nullptr);
bool isOpen() noexcept;
// The open log's full path; empty when none is open.
std::wstring path();
void close() noexcept;

// One line: "2026-12-10T11:12:13.456Z " and the text.
void write(std::string_view text) noexcept;
void write(std::wstring_view text) noexcept; // converted to UTF-8
// The failure's text, and its Win32 error or HRESULT where it carries one.
void writeFailure(std::string_view context, const std::exception& failure) noexcept;

// Writes "<name> started" now, and "<name> finished in N ms" when it succeeds (that is
// when it ends, so phases that follow one another in one scope each give their own
// duration, in order), or "failed after N ms" when it goes out of scope without.
class Phase {
public:
    explicit Phase(std::string name);
    ~Phase();
    Phase(const Phase&) = delete;
    Phase& operator=(const Phase&) = delete;
    void succeeded() noexcept;

private:
    void end(const char* outcome) noexcept;

    std::string name_;
    std::chrono::steady_clock::time_point start_;
    bool ended_ = false;
};

} // namespace elvara::event_log
