#pragma once
// The few helpers that turn a failed platform result into the fixed text that the
// user sees. The Win32 error or HRESULT behind it is kept for diagnosis (the log);
// what() is only ever the fixed text. Call sites stay one line per step.
#include <cstdint>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace elvara {

class Failure : public std::runtime_error {
public:
    enum class CodeKind { None, Win32, HResult, NtStatus };

    explicit Failure(const char* text, CodeKind kind = CodeKind::None, std::uint32_t code = 0)
        : std::runtime_error(text), kind_(kind), code_(code)
    {
    }
    CodeKind codeKind() const noexcept { return kind_; }
    // The Win32 error, HRESULT or NTSTATUS bits, as the kind says; 0 with None.
    std::uint32_t code() const noexcept { return code_; }

private:
    CodeKind kind_;
    std::uint32_t code_;
};

[[noreturn]] inline void fail(const char* text) { throw Failure(text); }

inline void failIf(bool condition, const char* text)
{
    if (condition) fail(text);
}

#if defined(_WIN32)
// Reads GetLastError at once, before anything else can change it.
inline void failIfLastError(bool failed, const char* text)
{
    if (failed) throw Failure(text, Failure::CodeKind::Win32, GetLastError());
}

inline void failIfWin32Error(DWORD error, const char* text)
{
    if (error != ERROR_SUCCESS) throw Failure(text, Failure::CodeKind::Win32, error);
}

inline void failIfStatus(LSTATUS status, const char* text) { failIfWin32Error(static_cast<DWORD>(status), text); }

inline void failIfFailed(HRESULT result, const char* text)
{
    if (FAILED(result)) throw Failure(text, Failure::CodeKind::HResult, static_cast<std::uint32_t>(result));
}

inline void failIfNtError(LONG status, const char* text)
{
    if (status < 0) throw Failure(text, Failure::CodeKind::NtStatus, static_cast<std::uint32_t>(status));
}

#endif // defined(_WIN32): the platform's result types; the rest is plain C++

} // namespace elvara
