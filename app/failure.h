#pragma once
// The few helpers that turn a failed platform result into the fixed text that
// the user sees. Call sites stay one line per step.
#include <windows.h>

#include <stdexcept>

namespace elvara {

[[noreturn]] inline void fail(const char* text) { throw std::runtime_error(text); }

inline void failIf(bool condition, const char* text)
{
    if (condition) fail(text);
}

inline void failIfFailed(HRESULT result, const char* text)
{
    if (FAILED(result)) fail(text);
}

inline void failIfNtError(LONG status, const char* text)
{
    if (status < 0) fail(text);
}

} // namespace elvara
